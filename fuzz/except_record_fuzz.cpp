// The "EXCEPT" record another module published, as any bytes. Checked:
// - a record is taken only when it fits the block, and what is taken writes back to the very
//   bytes it was read from (the flag byte aside), unless a string ends with its first CR LF,
//   which publishing drops;
// - any two strings written are read back as published.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "publishing/except_record.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name = "kept", text = "kept";
  if (publishing::ReadExceptRecord(data, size, name, text)) {
    const size_t used = 9 + name.size() + text.size();
    Check(used <= size);
    if (publishing::PublishedView(name).size() == name.size() &&
        publishing::PublishedView(text).size() == text.size()) {
      std::vector<uint8_t> again(publishing::ExceptRecordSize(name, text));
      Check(again.size() == used);
      publishing::WriteExceptRecord(again.data(), name, text);
      Check(again[0] == 1 && std::equal(again.begin() + 1, again.end(), data + 1));
    }
  } else {
    Check(name == "kept" && text == "kept");
  }

  // The input as two strings, split where its first byte says.
  if (size == 0) return 0;
  const size_t split = data[0] % size;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view first = all.substr(0, split),
                         second = all.substr(split < all.size() ? split : all.size());
  std::vector<uint8_t> record(publishing::ExceptRecordSize(first, second));
  publishing::WriteExceptRecord(record.data(), first, second);
  Check(publishing::ReadExceptRecord(record.data(), record.size(), name, text));
  Check(name == publishing::PublishedView(first) && text == publishing::PublishedView(second));
  return 0;
}

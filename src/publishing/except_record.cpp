#include "publishing/except_record.h"

#include <cstring>

#include "binary/byte_reader.h"

namespace vl::publishing {

namespace {

uint8_t* PutView(uint8_t* out, std::string_view text) {
  const auto n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) *out++ = static_cast<uint8_t>(n >> (8 * i));
  if (n) std::memcpy(out, text.data(), n);
  return out + n;
}

}  // namespace

std::string_view PublishedView(std::string_view text) {
  if (text.size() >= 2 && text.find("\r\n") == text.size() - 2) text.remove_suffix(2);
  return text;
}

size_t ExceptRecordSize(std::string_view className, std::string_view message) {
  return 1 + 4 + PublishedView(className).size() + 4 + PublishedView(message).size();
}

void WriteExceptRecord(uint8_t* out, std::string_view className, std::string_view message) {
  out[0] = 0;
  PutView(PutView(out + 1, PublishedView(className)), PublishedView(message));
  out[0] = 1;
}

bool ReadExceptRecord(const uint8_t* data, size_t size, std::string& className,
                      std::string& message) {
  if (!data || size < 1 || data[0] == 0) return false;
  binary::TByteReader in(data + 1, size - 1);
  std::string name, text;
  if (!in.ReadLongString(name, 0) || !in.ReadLongString(text, 0)) return false;
  className = std::move(name);
  message = std::move(text);
  return true;
}

}  // namespace vl::publishing

// Base64 as the mail carries it. The input is both a text to decode and bytes to encode.
// Checked:
// - the decoder accepts exactly the well-formed texts (line breaks aside: groups of four
//   characters of the alphabet, "=" or "==" only at the very end) and what it returns encodes
//   back to the same text, up to the unused bits before the padding;
// - encoding, in lines or as one line, decodes back to the bytes; the lines hold at most 80
//   characters and end with CR LF, and without the line breaks they are the one-line form.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/base64.h"
#include "fuzz_check.h"

using namespace vl;

namespace {

bool InAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

bool WellFormed(const std::string& s, size_t& pad) {
  const size_t n = s.size();
  pad = n >= 4 && s[n - 1] == '=' ? (s[n - 2] == '=' ? 2 : 1) : 0;
  if (n % 4 != 0) return false;
  for (size_t i = 0; i + pad < n; ++i)
    if (!InAlphabet(s[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string compact;  // the text without line breaks
  for (char c : input)
    if (c != '\r' && c != '\n') compact += c;
  std::string bytes;
  const bool ok = delivery::DecodeBase64(input, bytes);
  size_t pad = 0;
  Check(ok == WellFormed(compact, pad));
  if (ok) {
    const std::string again = delivery::EncodeBase64Line(bytes);
    Check(again.size() == compact.size() && bytes.size() == compact.size() / 4 * 3 - pad);
    for (size_t i = 0; i < again.size(); ++i)
      Check(again[i] == compact[i] || (pad > 0 && i == again.size() - pad - 1));
  }

  const std::string lines = delivery::EncodeBase64(input);
  const std::string line = delivery::EncodeBase64Line(input);
  std::string joined;
  size_t start = 0;
  while (start < lines.size()) {
    const size_t end = lines.find("\r\n", start);
    Check(end != std::string::npos && end - start <= 80 && end > start);
    joined.append(lines, start, end - start);
    start = end + 2;
  }
  Check(joined == line);
  Check(delivery::DecodeBase64(lines, bytes) && bytes == input);
  Check(delivery::DecodeBase64(line, bytes) && bytes == input);
  return 0;
}

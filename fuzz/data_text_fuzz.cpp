// Whatever the subject, body, file name and file bytes, the DATA text must stay
// transport-safe: every line break CR LF, no line of a lone "." before the end mark, no line
// over 998 bytes, no delimiter line but the message's own three, and each file's base64 decoding
// back to its bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/base64.h"
#include "delivery/mime_message.h"

using namespace vl;

namespace {

// Cuts the next field at a 0xFF byte (or the end).
std::string Field(std::string_view& rest, size_t maxLength) {
  const size_t cut = rest.find('\xFF');
  std::string field(rest.substr(0, cut));
  rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  if (field.size() > maxLength) field.resize(maxLength);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  delivery::MailMessage m;
  m.Date = "Fri, 5 Mar 2004 09:07:03 +0100";
  m.Sender = "app@example.com";
  m.Recipient = "bugs@example.org";
  m.CodePage = size > 0 && (data[0] & 1) ? 932 : 1252;
  m.Subject = Field(rest, 2000);
  m.BodyText = Field(rest, 100000);
  delivery::MailAttachment file;
  file.FileName = Field(rest, 255);
  file.Bytes = std::string(rest);
  m.Attachments.push_back(file);

  const std::string text = delivery::BuildDataText(m);
  if (text.size() < 3 || text.compare(text.size() - 3, 3, "\r\n.") != 0) std::abort();
  size_t lineStart = 0, boundaryLines = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '\r' && text[i + 1] != '\n') std::abort();
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
    if (text[i] != '\n') continue;
    const std::string_view line(text.data() + lineStart, i - 1 - lineStart);
    if (line == "." || line.size() > 998) std::abort();
    if (line.substr(0, 2) == "--" && line.substr(2, 28) == delivery::MimeBoundary) ++boundaryLines;
    lineStart = i + 1;
  }
  // The text part's delimiter, the file's delimiter, the closing delimiter.
  if (boundaryLines != 3) std::abort();
  std::string back;
  if (!delivery::DecodeBase64(delivery::EncodeBase64(file.Bytes), back) || back != file.Bytes)
    std::abort();
  if (text.find(delivery::MakeTransportSafe(delivery::EncodeBase64(file.Bytes))) ==
      std::string::npos)
    std::abort();
  return 0;
}

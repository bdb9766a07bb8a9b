// The mailto link must be one clean argument whatever the texts hold: no blank, quote or
// control character, each field decoding back to what was given (the body without "&"), and
// the command line below its limit once the report is cut.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/mailto_link.h"

using namespace vl;

namespace {

std::string Field(std::string_view& rest) {
  const size_t cut = rest.find('\xFF');
  std::string field(rest.substr(0, cut));
  rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  delivery::MailtoFields f;
  f.Recipients = "a@x.org";
  f.Subject = Field(rest);
  f.Body = Field(rest);
  f.Report = std::string(rest);
  const std::string link = delivery::BuildMailtoLink(f);
  for (unsigned char c : link)
    if (c <= ' ' || c >= 0x7F || c == '"') std::abort();
  const std::string prefix = "mailto:a@x.org?Subject=";
  const size_t body = link.find("&Body=");
  if (link.compare(0, prefix.size(), prefix) != 0 || body == std::string::npos) std::abort();
  std::string subject, text;
  if (!delivery::PercentDecode(std::string_view(link).substr(prefix.size(), body - prefix.size()),
                               subject) ||
      !delivery::PercentDecode(std::string_view(link).substr(body + 6), text))
    std::abort();
  std::string expected = f.Body;
  expected.erase(std::remove(expected.begin(), expected.end(), '&'), expected.end());
  if (subject != f.Subject || text != expected + f.Report) std::abort();
  const size_t limit = 200 + size % 400;
  const std::string line = delivery::MailtoCommandLine("m.exe \"%1\"", f, limit);
  if (line.size() >= limit) std::abort();
  return 0;
}

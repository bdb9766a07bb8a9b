#include "delivery/mailto_link.h"

#include <algorithm>

#include "delivery/address_list.h"

namespace vl::delivery {
namespace {

const char kHex[] = "0123456789ABCDEF";

bool Unreserved(unsigned char c, bool keepAt) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || (keepAt && c == '@');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string EncodedRecipients(const std::string& recipients) {
  std::string to;
  for (const std::string& address : SplitAddressList(recipients)) {
    if (address.empty()) continue;
    if (!to.empty()) to += ',';
    to += MailtoEncode(address, true);
  }
  return to;
}

// The longest prefix of Text whose encoding takes at most Budget characters, not ending inside
// a UTF-8 sequence.
size_t FittingPrefix(std::string_view text, size_t budget) {
  size_t used = 0, n = 0;
  while (n < text.size()) {
    const size_t width = Unreserved(static_cast<unsigned char>(text[n]), false) ? 1 : 3;
    if (used + width > budget) break;
    used += width;
    ++n;
  }
  if (n < text.size()) {
    size_t back = n;
    while (back > 0 && n - back < 3 && (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80)
      --back;
    if ((static_cast<unsigned char>(text[back]) & 0xC0) != 0x80) n = back;
  }
  return n;
}

size_t CountPlaceholders(const std::string& commandTemplate) {
  size_t count = 0;
  for (size_t at = commandTemplate.find("%1"); at != std::string::npos;
       at = commandTemplate.find("%1", at + 2))
    ++count;
  return count;
}

std::string ReplacePlaceholders(const std::string& commandTemplate, const std::string& link) {
  std::string line;
  size_t from = 0;
  for (size_t at = commandTemplate.find("%1"); at != std::string::npos;
       at = commandTemplate.find("%1", from)) {
    line.append(commandTemplate, from, at - from);
    line += link;
    from = at + 2;
  }
  line.append(commandTemplate, from, std::string::npos);
  return line;
}

}  // namespace

std::string MailtoEncode(std::string_view text, bool keepAt) {
  std::string out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    if (Unreserved(c, keepAt)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool PercentDecode(std::string_view text, std::string& bytes) {
  bytes.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::string BuildMailtoLink(const MailtoFields& fields) {
  std::string text = fields.Body;
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  text += fields.Report;
  return "mailto:" + EncodedRecipients(fields.Recipients) +
         "?Subject=" + MailtoEncode(fields.Subject) + "&Body=" + MailtoEncode(text);
}

std::string MailtoCommandLine(const std::string& commandTemplate, const MailtoFields& fields,
                              size_t limit) {
  const size_t count = CountPlaceholders(commandTemplate);
  std::string subject = fields.Subject;
  std::string text = fields.Body;
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  text += fields.Report;
  const std::string head = "mailto:" + EncodedRecipients(fields.Recipients) + "?Subject=";
  const size_t base = commandTemplate.size() - 2 * count;
  if (count > 0) {
    // Characters each link may take so that the whole line stays below the limit.
    const size_t room = base + 1 < limit ? (limit - 1 - base) / count : 0;
    const size_t fixed = head.size() + 6;  // "&Body="
    const size_t subjectLength = MailtoEncode(subject).size();
    if (fixed + subjectLength + MailtoEncode(text).size() > room) {
      if (fixed + subjectLength <= room) {
        text.resize(FittingPrefix(text, room - fixed - subjectLength));
      } else {
        text.clear();
        subject.resize(FittingPrefix(subject, room > fixed ? room - fixed : 0));
      }
    }
  }
  return ReplacePlaceholders(commandTemplate,
                             head + MailtoEncode(subject) + "&Body=" + MailtoEncode(text));
}

}  // namespace vl::delivery

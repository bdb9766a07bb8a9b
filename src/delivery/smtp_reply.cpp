#include "delivery/smtp_reply.h"

#include <cstdint>

#include "runtime/exceptions.h"

namespace vl::delivery {

const char* const TranscriptUserName = "(user name)";
const char* const TranscriptPassword = "(password)";

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
}  // namespace

bool IsLastReplyLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return false;
  return line.size() == 3 || line[3] == ' ';
}

bool SmtpReplyScanner::Append(std::string_view piece) {
  if (End != 0) return true;
  const size_t scanFrom = Text.size();
  Text.append(piece.data(), piece.size());
  for (size_t i = scanFrom; i < Text.size(); ++i) {
    if (Text[i] != '\n') continue;
    if (IsLastReplyLine(std::string_view(Text).substr(LineStart, i - LineStart))) {
      End = i + 1;
      return true;
    }
    LineStart = i + 1;
  }
  return false;
}

size_t SmtpReplyLength(std::string_view text) {
  SmtpReplyScanner scanner;
  scanner.Append(text);
  return scanner.Length();
}

int SmtpReplyCode(std::string_view reply) {
  int64_t value = 0;
  size_t digits = 0;
  while (digits < reply.size() && IsDigit(reply[digits])) {
    value = value * 10 + (reply[digits] - '0');
    ++digits;
    if (value > INT32_MAX) break;
  }
  if (digits == 0 || value > INT32_MAX) {
    while (digits < reply.size() && IsDigit(reply[digits])) ++digits;
    std::string shown(reply.substr(0, digits == 0 ? reply.find_first_of("\r\n") : digits));
    throw EConvertError("'" + shown + "' is not a valid integer value");
  }
  return static_cast<int>(value);
}

bool EhloOffers(std::string_view reply, std::string_view keyword) {
  while (!reply.empty()) {
    const size_t end = reply.find('\n');
    std::string_view line = reply.substr(0, end);
    reply = end == std::string_view::npos ? std::string_view() : reply.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 4 + keyword.size() || !IsDigit(line[0]) || !IsDigit(line[1]) ||
        !IsDigit(line[2]) || (line[3] != '-' && line[3] != ' '))
      continue;
    const std::string_view word = line.substr(4, keyword.size());
    bool same = true;
    for (size_t i = 0; i < keyword.size() && same; ++i)
      same = AsciiUpper(word[i]) == AsciiUpper(keyword[i]);
    if (same && (line.size() == 4 + keyword.size() || line[4 + keyword.size()] == ' ')) return true;
  }
  return false;
}

std::string TranscriptMessage(size_t bytes) {
  return "(message, " + std::to_string(bytes) + " bytes)";
}

}  // namespace vl::delivery

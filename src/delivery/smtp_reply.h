// Where an SMTP reply ends and what code it carries, and the texts that stand in the session's
// transcript for what must not be shown (credentials, the message itself).
//
// A reply is one or more lines; it ends with the line feed of the first line that starts with
// three digits followed by a blank or by the line end ("250 OK", "250"). Lines such as
// "250-SIZE" continue it. A reply is judged by the code at its very start.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vl::delivery {

// The longest reply the client accepts; a longer one fails the command.
constexpr size_t MaxSmtpReplyBytes = 64 * 1024;

// Finds the end of the first reply in text that arrives in pieces.
class SmtpReplyScanner {
 public:
  // Adds the next piece; returns Complete().
  bool Append(std::string_view piece);
  // True once the reply's last line has ended.
  bool Complete() const { return End != 0; }
  // Bytes of the reply (up to and including its last line feed); 0 while incomplete.
  size_t Length() const { return End; }
  // True when more than MaxSmtpReplyBytes arrived without the reply ending.
  bool Overflow() const { return End == 0 && Text.size() > MaxSmtpReplyBytes; }
  const std::string& Received() const { return Text; }

 private:
  std::string Text;
  size_t LineStart = 0;
  size_t End = 0;
};

// The length of the first complete reply in Text, 0 when it holds none.
size_t SmtpReplyLength(std::string_view text);
// True when a line (without its line end) is a reply's last line.
bool IsLastReplyLine(std::string_view line);

// The integer formed by the reply's leading decimal digits. Raises EConvertError
// ("'<text>' is not a valid integer value") when it starts with no digit or the number does not
// fit in 32 bits.
int SmtpReplyCode(std::string_view reply);

// True when the EHLO reply names the extension Keyword (ASCII case ignored): a line whose text
// after the code and its separator is the keyword alone or followed by a blank
// ("250-STARTTLS", "250 AUTH LOGIN"). Lines without a code of three digits count for nothing.
bool EhloOffers(std::string_view reply, std::string_view keyword);

// What the transcript records instead of the login answers and the message.
extern const char* const TranscriptUserName;  // "(user name)"
extern const char* const TranscriptPassword;  // "(password)"
// "(message, N bytes)"
std::string TranscriptMessage(size_t bytes);

}  // namespace vl::delivery

// The "mailto:" link that hands the report to the user's mail program, and the command line
// that starts the program with it.
//
// Every field is percent-encoded (RFC 6068): the link holds no blank, quote, "&" of the text,
// or control character, so it stays one argument whatever the registered command looks like.
// The texts are taken as bytes; the caller converts them to UTF-8 first, as RFC 6068 reads
// percent-encoded bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vl::delivery {

// Command lines must stay below this many characters (the system refuses longer ones).
constexpr size_t MaxMailtoCommandLine = 32000;

// Every byte except A-Z, a-z, 0-9, "-", ".", "_", "~" (and "@" when KeepAt) as %XX.
std::string MailtoEncode(std::string_view text, bool keepAt = false);
// Reverses MailtoEncode (and any %XX); false on a "%" not followed by two hex digits.
bool PercentDecode(std::string_view text, std::string& bytes);

struct MailtoFields {
  std::string Recipients;  // the options' list, "," or ";" separated
  std::string Subject;
  std::string Body;    // loses every "&", as it always has
  std::string Report;  // follows the body unchanged (its "&" kept, percent-encoded)
};

// "mailto:" + the recipients (split, each encoded with "@" kept, joined by ",") + "?Subject=" +
// subject + "&Body=" + body and report.
std::string BuildMailtoLink(const MailtoFields& fields);

// The command template with every "%1" (case-sensitive, left to right) replaced by the link. When
// the line would reach Limit characters the report is cut from its end (then the body, then the
// subject) so that it stays below; a template that is too long on its own is returned as it is.
std::string MailtoCommandLine(const std::string& commandTemplate, const MailtoFields& fields,
                              size_t limit = MaxMailtoCommandLine);

}  // namespace vl::delivery

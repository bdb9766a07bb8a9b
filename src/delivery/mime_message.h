// The report mail as one multipart MIME message, and the DATA text that carries it over SMTP.
//
// A message whose texts are plain 7-bit ASCII comes out byte for byte in the fixed layout below
// (text part "text/plain", 7bit). Texts that 7 bits cannot carry safely are encoded instead:
//   - a body text with a byte >= 0x80 or NUL, a line over 998 bytes or the boundary string goes
//     out as "text/plain; charset=<code page's name>", quoted-printable;
//   - a subject with such a byte (or too long for one line) becomes RFC 2047 encoded words;
//     CR and LF in the subject become blanks, so it can never start another header;
//   - a file name with such a byte becomes an RFC 2231 parameter (name*=, filename*=).
// The DATA text is made transport-safe: every line break is CR LF and a line starting with "."
// gets a second "." (the server removes it), so no line of the message can end the data early.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vl::delivery {

extern const char* const MimeBoundary;       // "=_xcjvnxkbhvfkxzhfdbvzldjhfv"
extern const char* const MimeMessageHeader;  // the Content-Type and MIME-Version lines
extern const char* const LibraryHeader;      // "X-Library: VantorLog 4.5.4"

// One file to attach: its name part (no folder) and its contents.
struct MailAttachment {
  std::string FileName;
  std::string Bytes;
};

// The MIME charset name of a Windows ANSI code page ("windows-1252", "shift_jis", "utf-8", ...).
std::string CharsetName(unsigned codePage);

// True when a text cannot go out as 7bit: a byte >= 0x80 or NUL, a line longer than 998 bytes
// (CR, LF and CR LF all end lines), or the boundary string anywhere.
bool TextNeedsEncoding(std::string_view text);
// Quoted-printable, lines of at most 76 characters; each line break of the text (CR LF, CR or
// LF) becomes one CR LF.
std::string EncodeQuotedPrintable(std::string_view text);
// The subject as a header value: CR/LF turned into blanks, then either as it is (7-bit ASCII
// that fits on a line) or RFC 2047 "B" encoded words folded onto continuation lines.
std::string EncodeSubject(std::string_view subject, unsigned codePage);

// "image/png" for a name whose extension, upper-cased, is ".PNG"; else "application/octet-stream".
std::string AttachmentContentType(const std::string& fileName);
// One attachment part, starting with "\r\n--boundary\r\n" and ending with its base64 lines.
std::string BuildAttachmentPart(const MailAttachment& file, unsigned codePage);
// The multipart body: preamble, text part, one part per attachment, closing delimiter line.
std::string BuildMimeBody(std::string_view bodyText, const std::vector<MailAttachment>& files,
                          unsigned codePage);

struct MailMessage {
  std::string Date;  // FormatMailDate's text
  std::string Sender;
  std::string Recipient;
  std::string Subject;
  std::string BodyText;
  std::vector<MailAttachment> Attachments;
  unsigned CodePage = 1252;  // the system's ANSI code page: the charset of 8-bit texts
};

// Every line break CR LF, and a "." doubled at the start of every line.
std::string MakeTransportSafe(std::string_view text);
// The same, appended to Out; LineStart carries whether Out ends a line (true at the start).
void AppendTransportSafe(std::string& out, std::string_view text, bool& lineStart);
// Headers, blank line, MIME body, all transport-safe, then the lone "." that ends the data (the
// sender adds its CR LF).
std::string BuildDataText(const MailMessage& message);

}  // namespace vl::delivery

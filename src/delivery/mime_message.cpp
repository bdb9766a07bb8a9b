#include "delivery/mime_message.h"

#include <cctype>
#include <cstdio>

#include "delivery/base64.h"

namespace vl::delivery {

const char* const MimeBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
const char* const MimeMessageHeader =
    "Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\n"
    "MIME-Version: 1.0";
const char* const LibraryHeader = "X-Library: VantorLog 4.5.4";

namespace {

const size_t kMaxLine = 998;
const char kHex[] = "0123456789ABCDEF";

bool Is8BitOrNul(unsigned char c) { return c >= 0x80 || c == 0; }

bool AllPlain(std::string_view text) {
  for (unsigned char c : text)
    if (Is8BitOrNul(c)) return false;
  return true;
}

// CR and LF replaced by blanks (a CR LF pair by one blank).
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
  return out;
}

bool IsDbcsLead(unsigned codePage, unsigned char c) {
  switch (codePage) {
    case 932:
      return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
      return c >= 0x81 && c <= 0xFE;
    default:
      return false;
  }
}

// Length of the longest prefix of Text, at most Limit bytes, that does not split a character.
size_t CharacterPrefix(std::string_view text, size_t limit, unsigned codePage) {
  if (text.size() <= limit) return text.size();
  if (codePage == 65001) {
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n > 0 ? n : limit;
  }
  size_t n = 0;
  while (n < text.size()) {
    const size_t width = IsDbcsLead(codePage, static_cast<unsigned char>(text[n])) ? 2 : 1;
    if (n + width > limit) break;
    n += width;
  }
  return n > 0 ? n : limit;
}

std::string PercentEncoded(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '!' || c == '#' ||
        c == '$' || c == '&' || c == '+' || c == '^' || c == '`' || c == '|') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// One parameter of a part header: `        name="file"` or, for a name 7 bits cannot carry,
// `        name*=charset''%XX...` (RFC 2231).
std::string NameParameter(const char* key, const std::string& name, unsigned codePage) {
  const std::string plain = OneLine(name);
  bool quotable = AllPlain(plain);
  for (char c : plain)
    if (c == '"' || c == '\\') quotable = false;
  if (quotable) return std::string("        ") + key + "=\"" + plain + "\"\r\n";
  return std::string("        ") + key + "*=" + CharsetName(codePage) + "''" +
         PercentEncoded(plain) + "\r\n";
}

// The pieces of the multipart body, shared by BuildMimeBody and BuildDataText.
std::string MimeTextPart(std::string_view bodyText, unsigned codePage) {
  std::string body = "This is a multi-part message in MIME format\r\n\r\n--";
  body += MimeBoundary;
  if (TextNeedsEncoding(bodyText)) {
    body += "\r\nContent-Type: text/plain; charset=" + CharsetName(codePage) +
            "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    body += EncodeQuotedPrintable(bodyText);
  } else {
    body += "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
    body.append(bodyText.data(), bodyText.size());
  }
  return body + "\r\n";
}

std::string AttachmentPartHeader(const MailAttachment& file, unsigned codePage) {
  std::string part = "\r\n--";
  part += MimeBoundary;
  part += "\r\nContent-Type: " + AttachmentContentType(file.FileName) + ";\r\n";
  part += NameParameter("name", file.FileName, codePage);
  part += "Content-Transfer-Encoding: base64\r\n";
  part += "Content-Disposition: attachment;\r\n";
  part += NameParameter("filename", file.FileName, codePage);
  return part + "\r\n";
}

std::string MimeClosing() { return std::string("--") + MimeBoundary + "--\r\n"; }

}  // namespace

std::string CharsetName(unsigned codePage) {
  switch (codePage) {
    case 932:
      return "shift_jis";
    case 936:
      return "gbk";
    case 949:
      return "ks_c_5601-1987";
    case 950:
      return "big5";
    case 20866:
      return "koi8-r";
    case 28591:
      return "iso-8859-1";
    case 65001:
      return "utf-8";
    default:
      return "windows-" + std::to_string(codePage);
  }
}

bool TextNeedsEncoding(std::string_view text) {
  if (text.find(MimeBoundary) != std::string_view::npos) return true;
  size_t line = 0;
  for (unsigned char c : text) {
    if (Is8BitOrNul(c)) return true;
    if (c == '\r' || c == '\n') {
      line = 0;
    } else if (++line > kMaxLine) {
      return true;
    }
  }
  return false;
}

std::string EncodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t column = 0;
  auto put = [&](const char* piece, size_t n) {
    if (column + n > 75) {  // leave room for the "=" of a soft break
      out += "=\r\n";
      column = 0;
    }
    out.append(piece, n);
    column += n;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      column = 0;
      continue;
    }
    const bool lineEnd = i + 1 == text.size() || text[i + 1] == '\r' || text[i + 1] == '\n';
    const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
    if (literal) {
      const char one = static_cast<char>(c);
      put(&one, 1);
    } else {
      const char three[3] = {'=', kHex[c >> 4], kHex[c & 15]};
      put(three, 3);
    }
  }
  return out;
}

std::string EncodeSubject(std::string_view subject, unsigned codePage) {
  const std::string line = OneLine(subject);
  if (AllPlain(line) && line.size() + 9 <= kMaxLine) return line;  // 9: "Subject: "
  const std::string prefix = "=?" + CharsetName(codePage) + "?B?";
  std::string out;
  std::string_view rest(line);
  // An encoded word takes at most 75 characters (RFC 2047).
  const size_t bytesPerWord = prefix.size() + 2 < 75 ? (75 - prefix.size() - 2) / 4 * 3 : 3;
  while (!rest.empty()) {
    const size_t n = CharacterPrefix(rest, bytesPerWord, codePage);
    if (!out.empty()) out += "\r\n ";
    out += prefix + EncodeBase64Line(rest.substr(0, n)) + "?=";
    rest.remove_prefix(n);
  }
  return out;
}

std::string AttachmentContentType(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext == ".PNG" ? "image/png" : "application/octet-stream";
}

std::string BuildAttachmentPart(const MailAttachment& file, unsigned codePage) {
  std::string part = AttachmentPartHeader(file, codePage);
  AppendBase64(part, file.Bytes);
  return part;
}

std::string BuildMimeBody(std::string_view bodyText, const std::vector<MailAttachment>& files,
                          unsigned codePage) {
  std::string body = MimeTextPart(bodyText, codePage);
  for (const MailAttachment& file : files) body += BuildAttachmentPart(file, codePage);
  return body + MimeClosing();
}

void AppendTransportSafe(std::string& out, std::string_view text, bool& lineStart) {
  size_t i = 0;
  while (i < text.size()) {
    if (lineStart && text[i] == '.') out += '.';
    lineStart = false;
    size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    out.append(text.data() + i, end - i);
    if (end == text.size()) break;
    // CR LF, a lone CR or a lone LF: one CR LF.
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    out += "\r\n";
    lineStart = true;
    i = end + 1;
  }
}

std::string MakeTransportSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 16);
  bool lineStart = true;
  AppendTransportSafe(out, text, lineStart);
  return out;
}

std::string BuildDataText(const MailMessage& m) {
  std::string headers;
  headers += "Date: " + OneLine(m.Date) + "\r\n";
  headers += "From: <" + OneLine(m.Sender) + ">\r\n";
  headers += "Subject: " + EncodeSubject(m.Subject, m.CodePage) + "\r\n";
  headers += "To: <" + OneLine(m.Recipient) + ">\r\n";
  headers += MimeMessageHeader;
  headers += "\r\nX-Priority: 1\r\n";
  headers += LibraryHeader;
  headers += "\r\n\r\n";
  // Built in one buffer of its final size. The base64 lines go in as they are: they already end
  // in CR LF, and no line of them can start with a dot, so the transport-safe pass would copy
  // them unchanged (a megabyte's worth of scanning and copying per recipient).
  const std::string text = MimeTextPart(m.BodyText, m.CodePage);
  size_t size = headers.size() + text.size() + text.size() / 64 + 64;
  for (const MailAttachment& file : m.Attachments) size += file.Bytes.size() / 60 * 82 + 1024;
  std::string data;
  data.reserve(size);
  bool lineStart = true;
  AppendTransportSafe(data, headers, lineStart);
  AppendTransportSafe(data, text, lineStart);
  for (const MailAttachment& file : m.Attachments) {
    AppendTransportSafe(data, AttachmentPartHeader(file, m.CodePage), lineStart);
    AppendBase64(data, file.Bytes);  // whole lines: the next starts a line
  }
  AppendTransportSafe(data, MimeClosing(), lineStart);
  // A text that does not end a line (never the case with the closing delimiter) still needs
  // its own line for the end mark.
  if (!lineStart) data += "\r\n";
  data += '.';
  return data;
}

}  // namespace vl::delivery

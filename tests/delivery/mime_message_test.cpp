#include "delivery/mime_message.h"

#include <gtest/gtest.h>

#include "delivery/base64.h"

using namespace vl;

using namespace delivery;

namespace {

MailMessage AsciiMessage() {
  MailMessage m;
  m.Date = "Fri, 5 Mar 2004 09:07:03 +0100";
  m.Sender = "app@example.com";
  m.Recipient = "bugs@example.org";
  m.Subject = "Bug report";
  m.BodyText = "Hello\r\nReport follows";
  m.Attachments = {{"Report.vlf", "abc"}, {"Screenshot.png", std::string("\x89PNG", 4)}};
  return m;
}

// Lines of Text (split at CR LF); the last piece after the final CR LF is returned too.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

TEST(MimeMessage, PlainAsciiMessageKeepsTheFixedLayoutByteForByte) {
  const std::string expected =
      "Date: Fri, 5 Mar 2004 09:07:03 +0100\r\n"
      "From: <app@example.com>\r\n"
      "Subject: Bug report\r\n"
      "To: <bugs@example.org>\r\n"
      "Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\n"
      "MIME-Version: 1.0\r\n"
      "X-Priority: 1\r\n"
      "X-Library: VantorLog 4.5.4\r\n"
      "\r\n"
      "This is a multi-part message in MIME format\r\n\r\n"
      "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
      "Content-Type: text/plain\r\n"
      "Content-Transfer-Encoding: 7bit\r\n\r\n"
      "Hello\r\nReport follows\r\n"
      "\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
      "Content-Type: application/octet-stream;\r\n"
      "        name=\"Report.vlf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment;\r\n"
      "        filename=\"Report.vlf\"\r\n"
      "\r\nYWJj\r\n"
      "\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
      "Content-Type: image/png;\r\n"
      "        name=\"Screenshot.png\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment;\r\n"
      "        filename=\"Screenshot.png\"\r\n"
      "\r\niVBORw==\r\n"
      "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n"
      ".";
  EXPECT_EQ(BuildDataText(AsciiMessage()), expected);
  MailMessage bare = AsciiMessage();
  bare.Attachments.clear();
  const std::string body = BuildMimeBody(bare.BodyText, {}, 1252);
  const std::string end =
      "7bit\r\n\r\nHello\r\nReport follows\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n";
  EXPECT_EQ(body.substr(body.size() - end.size()), end);
}

TEST(MimeMessage, AttachmentTypeFollowsTheUpperCasedExtension) {
  struct Case {
    const char* name;
    const char* type;
  } cases[] = {{"Screenshot.png", "image/png"},
               {"x.PnG", "image/png"},
               {"x.png.txt", "application/octet-stream"},
               {"png", "application/octet-stream"},
               {"report.vlf", "application/octet-stream"},
               {".png", "image/png"}};
  for (const Case& c : cases) EXPECT_EQ(AttachmentContentType(c.name), c.type) << c.name;
}

TEST(MimeMessage, TextThatSevenBitsCannotCarryGoesQuotedPrintable) {
  struct Case {
    const char* what;
    std::string text;
    bool encoded;
  } cases[] = {
      {"ascii", "plain text\r\nline two", false},
      {"8-bit", "caf\xE9", true},
      {"NUL", std::string("a\0b", 3), true},
      {"998 bytes", std::string(998, 'x') + "\r\nshort", false},
      {"999 bytes", std::string(999, 'x'), true},
      {"999 after LF", "a\n" + std::string(999, 'x'), true},
      {"boundary", "see =_xcjvnxkbhvfkxzhfdbvzldjhfv here", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextNeedsEncoding(c.text), c.encoded) << c.what;
    const std::string body = BuildMimeBody(c.text, {}, 1251);
    const bool qp = body.find(
                        "Content-Type: text/plain; charset=windows-1251\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\n") != std::string::npos;
    EXPECT_EQ(qp, c.encoded) << c.what;
    if (!c.encoded) continue;
    for (const std::string& line : Lines(body)) {
      EXPECT_LE(line.size(), 76u) << c.what;
      for (unsigned char ch : line) EXPECT_TRUE(ch >= 32 && ch < 127) << c.what;
    }
    // The boundary appears only as the two delimiter lines.
    size_t count = 0;
    for (size_t at = body.find(MimeBoundary); at != std::string::npos;
         at = body.find(MimeBoundary, at + 1))
      ++count;
    EXPECT_EQ(count, 2u) << c.what;
  }
}

TEST(MimeMessage, QuotedPrintableEdges) {
  EXPECT_EQ(EncodeQuotedPrintable("a=b \r\nc\t\nd\re "), "a=3Db=20\r\nc=09\r\nd\r\ne=20");
  EXPECT_EQ(EncodeQuotedPrintable("caf\xE9"), "caf=E9");
  const std::string soft = EncodeQuotedPrintable(std::string(80, 'y'));
  EXPECT_EQ(soft, std::string(75, 'y') + "=\r\n" + std::string(5, 'y'));
  // An escape is never split by a soft break.
  const std::string split = EncodeQuotedPrintable(std::string(74, 'y') + "\xE9");
  EXPECT_EQ(split, std::string(74, 'y') + "=\r\n=E9");
}

TEST(MimeMessage, SubjectIsOneHeaderLineAndEightBitBecomesEncodedWords) {
  EXPECT_EQ(EncodeSubject("Bug\r\nBcc: x@y", 1252), "Bug Bcc: x@y");
  EXPECT_EQ(EncodeSubject("a\rb\nc", 1252), "a b c");
  EXPECT_EQ(EncodeSubject("Caf\xE9", 1252), "=?windows-1252?B?Q2Fm6Q==?=");
  const std::string longSubject = EncodeSubject(std::string(100, '\xE9'), 1252);
  std::string decoded;
  size_t words = 0;
  for (const std::string& line : Lines(longSubject)) {
    std::string word = line[0] == ' ' ? line.substr(1) : line;
    ASSERT_EQ(word.substr(0, 17), "=?windows-1252?B?");
    EXPECT_LE(word.size(), 75u);
    std::string bytes;
    ASSERT_TRUE(DecodeBase64(word.substr(17, word.size() - 19), bytes));
    decoded += bytes;
    ++words;
  }
  EXPECT_EQ(decoded, std::string(100, '\xE9'));
  EXPECT_EQ(words, 3u);
  // A double-byte character is never split between two words.
  const std::string sjis = EncodeSubject(std::string("a") + std::string(60, '\x82'), 932);
  EXPECT_EQ(sjis.find("=?shift_jis?B?"), 0u);
  const std::string firstWord = sjis.substr(14, sjis.find("?=") - 14);
  std::string bytes;
  ASSERT_TRUE(DecodeBase64(firstWord, bytes));
  EXPECT_EQ(bytes.size(), 41u);  // "a" and 20 characters of two bytes
  const std::string utf8 = EncodeSubject(std::string(44, 'a') + "\xC3\xA9", 65001);
  ASSERT_TRUE(DecodeBase64(utf8.substr(10, utf8.find("?=") - 10), bytes));
  EXPECT_EQ(bytes, std::string(44, 'a'));
}

TEST(MimeMessage, EightBitFileNameUsesAnExtendedParameter) {
  const std::string part = BuildAttachmentPart({"R\xE9sum\xE9 1.vlf", "x"}, 1252);
  EXPECT_NE(part.find("        name*=windows-1252''R%E9sum%E9%201.vlf\r\n"), std::string::npos)
      << part;
  EXPECT_NE(part.find("        filename*=windows-1252''R%E9sum%E9%201.vlf\r\n"), std::string::npos);
}

TEST(MimeMessage, DataTextIsTransportSafe) {
  MailMessage m = AsciiMessage();
  m.BodyText = ".\r\n..two\nbare lf\rbare cr\r\n.";
  m.Subject = "caf\xE9";
  const std::string data = BuildDataText(m);
  const std::vector<std::string> lines = Lines(data);
  ASSERT_EQ(lines.back(), ".");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_NE(lines[i], ".") << "line " << i;
    EXPECT_EQ(lines[i].find_first_of("\r\n"), std::string::npos);
  }
  // The body is quoted-printable (it has no 8-bit byte but the subject has), or stuffed 7bit.
  EXPECT_NE(data.find("\r\n..\r\n...two\r\nbare lf\r\nbare cr\r\n..\r\n"), std::string::npos)
      << data;
  EXPECT_NE(data.find("Subject: =?windows-1252?B?Y2Fm6Q==?=\r\n"), std::string::npos);
  EXPECT_EQ(MakeTransportSafe("a\r\n.b\n.\r.c\r\n"), "a\r\n..b\r\n..\r\n..c\r\n");
  EXPECT_EQ(MakeTransportSafe(".x"), "..x");
}

TEST(MimeMessage, CharsetNames) {
  struct Case {
    unsigned cp;
    const char* name;
  } cases[] = {{1252, "windows-1252"}, {1250, "windows-1250"}, {874, "windows-874"},
               {932, "shift_jis"},     {936, "gbk"},           {65001, "utf-8"}};
  for (const Case& c : cases) EXPECT_EQ(CharsetName(c.cp), c.name);
}

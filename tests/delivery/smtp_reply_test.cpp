#include "delivery/smtp_reply.h"

#include <gtest/gtest.h>

#include "runtime/exceptions.h"

using namespace vl;

using namespace delivery;

TEST(SmtpReply, EndsAtTheLineFeedOfTheLastLine) {
  struct Case {
    std::string text;
    size_t length;  // 0: not complete yet
  } cases[] = {
      {"220 ready\r\n", 11},
      {"220\r\n", 5},
      {"220 ready", 0},
      {"220 ready\r", 0},
      {"250-first\r\n250-second\r\n250 last\r\n", 33},
      {"250-first\r\n250-second\r\n", 0},
      {"250 one\r\n250 two\r\n", 9},
      {"xyz\r\n", 0},
      {"2500\r\n", 0},
      {"25 x\r\n", 0},
      {"250\n", 4},
      {"garbage\r\n221 bye\r\n", 18},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SmtpReplyLength(c.text), c.length) << c.text;
}

TEST(SmtpReply, PiecesGiveTheSameEndAsTheWhole) {
  const std::string reply = "250-mail.example.org\r\n250-SIZE 100\r\n250 HELP\r\nextra";
  for (size_t split = 0; split <= reply.size(); ++split) {
    SmtpReplyScanner scanner;
    scanner.Append(reply.substr(0, split));
    scanner.Append(reply.substr(split));
    EXPECT_EQ(scanner.Length(), reply.size() - 5) << split;
  }
  SmtpReplyScanner byteWise;
  for (char c : reply) byteWise.Append(std::string(1, c));
  EXPECT_EQ(byteWise.Length(), reply.size() - 5);
}

TEST(SmtpReply, OverflowPastTheCap) {
  SmtpReplyScanner scanner;
  const std::string line = "250-" + std::string(1000, 'x') + "\r\n";
  while (scanner.Received().size() <= MaxSmtpReplyBytes) {
    EXPECT_FALSE(scanner.Overflow());
    scanner.Append(line);
  }
  EXPECT_TRUE(scanner.Overflow());
  EXPECT_TRUE(scanner.Append("250 end\r\n"));
  EXPECT_FALSE(scanner.Overflow());
}

TEST(SmtpReply, CodeOfTheLeadingDigits) {
  EXPECT_EQ(SmtpReplyCode("250 OK\r\n"), 250);
  EXPECT_EQ(SmtpReplyCode("250-a\r\n550 b\r\n"), 250);
  EXPECT_EQ(SmtpReplyCode("2500\r\n"), 2500);
  EXPECT_EQ(SmtpReplyCode("2147483647"), 2147483647);
  for (const char* bad :
       {"xyz\r\n", "", " 250", "2147483648", "1234567890123456789012345678901234567890\r\n"}) {
    EXPECT_THROW(SmtpReplyCode(bad), EConvertError) << bad;
  }
  try {
    SmtpReplyCode("xyz\r\nmore");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'xyz' is not a valid integer value");
  }
  EXPECT_EQ(TranscriptMessage(1464040), "(message, 1464040 bytes)");
}

TEST(SmtpReply, EhloOffersNamesAWholeKeyword) {
  struct Case {
    const char* reply;
    bool offered;
  } cases[] = {
      {"250-peer.test\r\n250-STARTTLS\r\n250 HELP\r\n", true},
      {"250-peer.test\r\n250 starttls\r\n", true},
      {"250-peer.test\r\n250-STARTTLS NOW\n250 HELP\n", true},
      {"250-peer.test\r\n250-STARTTLSX\r\n250 HELP\r\n", false},
      {"250-peer.test\r\n250-X-STARTTLS\r\n250 HELP\r\n", false},
      {"250 peer.test says STARTTLS\r\n", false},
      {"STARTTLS\r\n250 HELP\r\n", false},
      {"250-peer.test\r\n250 HELP\r\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(EhloOffers(c.reply, "STARTTLS"), c.offered) << c.reply;
}

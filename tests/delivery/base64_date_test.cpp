#include <gtest/gtest.h>

#include "delivery/base64.h"
#include "delivery/mail_date.h"

using namespace vl;

using namespace delivery;

TEST(Base64, SizesAtGroupAndLineEdges) {
  struct Case {
    size_t size;
    std::string first;  // expected first line, with its CR LF
    size_t lines;
  } cases[] = {
      {0, "", 0},         {1, "QQ==\r\n", 1}, {2, "QUE=\r\n", 1},
      {3, "QUFB\r\n", 1}, {60, "", 1},        {61, "", 2},
  };
  for (const Case& c : cases) {
    const std::string in(c.size, 'A');
    const std::string out = EncodeBase64(in);
    size_t lines = 0, start = 0;
    for (size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", start)) {
      const size_t length = at - start;
      EXPECT_LE(length, 80u);
      if (lines == 0 && c.size >= 60) {
        EXPECT_EQ(length, 80u) << c.size;
      }
      ++lines;
      start = at + 2;
    }
    EXPECT_EQ(start, out.size()) << "every line ends in CR LF, size " << c.size;
    EXPECT_EQ(lines, c.lines) << c.size;
    if (c.size > 0 && c.size < 4) {
      EXPECT_EQ(out, c.first);
    }
    std::string back;
    ASSERT_TRUE(DecodeBase64(out, back));
    EXPECT_EQ(back, in);
  }
  EXPECT_EQ(EncodeBase64(std::string(61, 'A')).size(), 80u + 2 + 4 + 2);
}

TEST(Base64, AllByteValuesRoundTripAndOneLineForm) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  std::string back;
  ASSERT_TRUE(DecodeBase64(EncodeBase64(all), back));
  EXPECT_EQ(back, all);
  const std::string line = EncodeBase64Line(std::string(100, 'x'));
  EXPECT_EQ(line.find('\r'), std::string::npos);
  EXPECT_EQ(line.size(), 136u);
  EXPECT_EQ(EncodeBase64Line("user"), "dXNlcg==");
  for (const char* bad : {"QQ=", "Q===", "QQ==QQ==", "QQ*A"})
    EXPECT_FALSE(DecodeBase64(bad, back)) << bad;
}

TEST(MailDate, ZoneCarriesDaylightAndMinutes) {
  const MailTime friday{2004, 3, 5, 5, 9, 7, 3};
  struct Case {
    int bias;
    const char* expected;
  } cases[] = {
      {-60, "Fri, 5 Mar 2004 09:07:03 +0100"},  {0, "Fri, 5 Mar 2004 09:07:03 +0000"},
      {-330, "Fri, 5 Mar 2004 09:07:03 +0530"}, {300, "Fri, 5 Mar 2004 09:07:03 -0500"},
      {210, "Fri, 5 Mar 2004 09:07:03 -0330"},  {-765, "Fri, 5 Mar 2004 09:07:03 +1245"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatMailDate(friday, c.bias), c.expected);
  const MailTime sunday{1999, 12, 31, 0, 23, 59, 58};
  EXPECT_EQ(FormatMailDate(sunday, -120), "Sun, 31 Dec 1999 23:59:58 +0200");
  const MailTime broken{2004, 13, 5, 9, 1, 2, 3};
  EXPECT_EQ(FormatMailDate(broken, 0), "???, 5 ??? 2004 01:02:03 +0000");
}

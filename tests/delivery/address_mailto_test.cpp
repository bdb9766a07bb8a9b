#include <gtest/gtest.h>

#include "delivery/address_list.h"
#include "delivery/mailto_link.h"

using namespace vl;

using namespace delivery;

TEST(AddressList, SplitsAtCommasAndSemicolons) {
  using List = std::vector<std::string>;
  struct Case {
    const char* text;
    List entries;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"a@x.org", {"a@x.org"}},
      {" a@x.org ; b@y.org,c@z.org ", {"a@x.org", "b@y.org", "c@z.org"}},
      {"a@x.org,,b@y.org", {"a@x.org", "", "b@y.org"}},
      {"a@x.org;", {"a@x.org"}},
      {",", {""}},
      {"a@x.org,;", {"a@x.org", ""}},
      {"\ta@x.org\r\n", {"a@x.org"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitAddressList(c.text), c.entries) << c.text;
}

TEST(MailtoLink, FieldsArePercentEncodedAndTheBodyLosesItsAmpersands) {
  MailtoFields f{"a@x.org; b@y.org", "Bug \"1\" & more", "x & y\r\n", "\r\n\r\n\r\nr&d 100%"};
  const std::string link = BuildMailtoLink(f);
  EXPECT_EQ(link,
            "mailto:a@x.org,b@y.org?Subject=Bug%20%221%22%20%26%20more"
            "&Body=x%20%20y%0D%0A%0D%0A%0D%0A%0D%0Ar%26d%20100%25");
  for (char c : link) {
    EXPECT_GT(static_cast<unsigned char>(c), ' ');
    EXPECT_LT(static_cast<unsigned char>(c), 0x7F);
    EXPECT_NE(c, '"');
  }
  EXPECT_EQ(MailtoCommandLine("\"C:\\mail.exe\" /m \"%1\" %1x", f),
            "\"C:\\mail.exe\" /m \"" + link + "\" " + link + "x");
  EXPECT_EQ(MailtoCommandLine("mail.exe", f), "mail.exe");
  std::string decoded;
  ASSERT_TRUE(PercentDecode("r%26d%20100%25%0d", decoded));
  EXPECT_EQ(decoded, "r&d 100%\r");
  for (const char* bad : {"%", "%4", "%G0", "a%zz"}) EXPECT_FALSE(PercentDecode(bad, decoded));
}

TEST(MailtoLink, ReportIsCutToKeepTheCommandLineUnderTheLimit) {
  MailtoFields f{"a@x.org", "Subject", "Body", std::string(40000, 'r')};
  for (const std::string& templ : {std::string("mail.exe %1"), std::string("m \"%1\" %1")}) {
    const std::string line = MailtoCommandLine(templ, f);
    EXPECT_LT(line.size(), MaxMailtoCommandLine) << templ;
    EXPECT_GT(line.size(), MaxMailtoCommandLine - 10) << templ;
    EXPECT_NE(line.find("?Subject=Subject&Body=Body"), std::string::npos);
  }
  // Escapes are never cut in half, and a multi-byte character is left out whole.
  f.Report = std::string(20000, '\xE9');
  std::string line = MailtoCommandLine("x %1", f, 1000);
  EXPECT_LT(line.size(), 1000u);
  EXPECT_EQ(line.substr(line.size() - 3), "%E9");
  f.Report = std::string(300, 'a') + std::string(300, '\xC3') + "\xA9";
  f.Report = std::string(300, 'a');
  for (int i = 0; i < 300; ++i) f.Report += "\xC3\xA9";
  line = MailtoCommandLine("x %1", f, 1000);
  EXPECT_EQ(line.substr(line.size() - 6), "%C3%A9");
  // A body too large on its own is cut as well; a huge subject last.
  f.Body = std::string(5000, 'b');
  line = MailtoCommandLine("x %1", f, 1000);
  EXPECT_LT(line.size(), 1000u);
  f.Subject = std::string(5000, 's');
  line = MailtoCommandLine("x %1", f, 1000);
  EXPECT_LT(line.size(), 1000u);
  EXPECT_EQ(line.substr(line.size() - 6), "&Body=");
}

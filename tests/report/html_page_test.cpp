// The web error page and its header lines.
#include "report/html_page.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

TEST(ErrorPage, EscapesMarkupBeforeLayingOutLinesAndBlanks) {
  struct Case {
    const char* text;
    const char* html;
  } cases[] = {
      {"a b", "a&nbsp;b"},
      {"x\r\ny", "x<br>y"},
      {"<b>&\"</b>", "&lt;b&gt;&amp;&quot;&lt;/b&gt;"},
      {"&nbsp;", "&amp;nbsp;"},
      {"lone\rcr\nlf", "lone\rcr\nlf"},
      {"\r\n\r\n", "<br><br>"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(report::HtmlReportText(c.text), c.html) << c.text;
}

TEST(ErrorPage, WrapsCaptionHeaderAndReport) {
  EXPECT_EQ(report::BuildErrorPage("Error <1>", "An error occurred.\r\n\r\n",
                                   "Message: <script>x</script>"),
            "<html><head><title>Error &lt;1&gt;</title></head><body>"
            "<p><small><font face=\"Lucida Console,Courier\">"
            "An&nbsp;error&nbsp;occurred.<br><br>Message:&nbsp;&lt;script&gt;x&lt;/script&gt;"
            "</font></small></p></body></html>");
}

TEST(ErrorPage, HeaderCountsTheBytesOfTheFinalPage) {
  const std::string page = report::BuildErrorPage("E", "h\r\n\r\n", "a & b");
  EXPECT_EQ(report::BuildWebAnswerHeader(page, false),
            "Content-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
                "\r\nContent:\r\n\r\n");
  EXPECT_EQ(report::BuildWebAnswerHeader(page, true),
            "Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(page.size()) + "\r\nContent:\r\n\r\n");
  EXPECT_EQ(report::BuildWebAnswerHeader("", false),
            "Content-Type: text/html\r\nContent-Length: 0\r\nContent:\r\n\r\n");
}

}  // namespace

#include "delivery/send_texts.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace vl;

using namespace delivery;

TEST(SendTexts, NamesAndBodyFollowTheOptions) {
  EXPECT_EQ(ReportBodyText(false, "report"), "");
  EXPECT_EQ(ReportBodyText(true, "report"), "\r\n\r\n\r\nreport");
  EXPECT_EQ(ReportAttachmentName(true, "C:\\T\\", "C:\\App\\app.vlf"), "");
  EXPECT_EQ(ReportAttachmentName(false, "C:\\T\\", "C:\\App\\app.vlf"), "C:\\T\\app.vlf");
  struct Case {
    bool requested, add;
    const char* file;
    const char* name;
  } shots[] = {{false, true, "", ""},
               {true, false, "", ""},
               {true, true, "", "C:\\T\\Screenshot.png"},
               {true, true, "D:\\s.png", "D:\\s.png"}};
  for (const Case& c : shots)
    EXPECT_EQ(ScreenshotAttachmentName(c.requested, c.add, "C:\\T\\", c.file), c.name) << c.file;
  EXPECT_EQ(MailtoReportTail("R", ""), "\r\n\r\n\r\nR");
  EXPECT_EQ(MailtoReportTail("R", "steps"), "\r\n\r\n\r\nR\r\n\r\n\r\nsteps");
}

TEST(SendTexts, ReportFileHasOneCrLfPerLine) {
  struct Case {
    std::string text, bytes;
  } cases[] = {{"", ""},
               {"a", "a\r\n"},
               {"a\r\n", "a\r\n"},
               {"a\r\nb", "a\r\nb\r\n"},
               {"a\nb\rc\r\n\r\nd", "a\r\nb\r\nc\r\n\r\nd\r\n"},
               {"\r", "\r\n"},
               {"\n\n", "\r\n\r\n"}};
  for (const Case& c : cases) EXPECT_EQ(ReportFileBytes(c.text), c.bytes) << c.text;
}

TEST(SendTexts, ProgressPercentIn64Bits) {
  const int64_t mib = 1 << 20;
  struct Case {
    int64_t sent, total;
    int percent;
  } cases[] = {{0, 100, 0},
               {50, 100, 50},
               {100, 100, 100},
               {101, 100, 100},
               {-5, 100, 0},
               {0, 0, 100},
               {5, -1, 100},
               // sent × 100 passes 2^31 here: 32-bit arithmetic would go negative.
               {22 * mib, 30 * mib, 73},
               {3000 * mib - 1, 3000 * mib, 99},
               {INT64_MAX - 1, INT64_MAX, 99},
               {INT64_MAX / 2, INT64_MAX, 49},
               {INT64_MAX / 2 + 1, INT64_MAX, 50}};
  for (const Case& c : cases)
    EXPECT_EQ(ProgressPercent(c.sent, c.total), c.percent) << c.sent << "/" << c.total;
}

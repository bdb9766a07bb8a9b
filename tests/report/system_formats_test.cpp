// Dates, memory and disk sizes, and the operating-system names.
#include "report/system_formats.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

using report::TOsVersionFacts;
using report::TReportTime;

TEST(ReportDate, WritesTheZoneFromTheBaseBiasInWholeHours) {
  const TReportTime t{2026, 12, 8, 23, 4, 5};
  struct Case {
    int32_t bias;
    const char* zone;
  } cases[] = {
      {-330, "+0500"}, {0, "+0000"},    {300, "-0500"}, {-600, "+1000"}, {30, "+0000"},
      {-30, "+0000"},  {-780, "+1300"}, {570, "-0900"}, {-59, "+0000"},  {60, "-0100"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(report::FormatReportDate(t, c.bias),
              std::string("Tue, 8 Dec 2026 23:04:05 ") + c.zone)
        << c.bias;
  }
}

TEST(ReportDate, NamesEveryDayAndMonth) {
  const char* days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  for (int d = 0; d < 7; ++d) {  // 6 to 12 December 2026: Sunday to Saturday
    EXPECT_EQ(report::FormatReportDate({2026, 12, 6 + d, 0, 0, 0}, 0).substr(0, 3), days[d]);
  }
  const char* months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* firstDays[12] = {"Thu", "Sun", "Sun", "Wed", "Fri", "Mon",
                               "Wed", "Sat", "Tue", "Thu", "Sun", "Tue"};  // 2026
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(report::FormatReportDate({2026, m, 1, 9, 8, 7}, 0),
              std::string(firstDays[m - 1]) + ", 1 " + months[m - 1] + " 2026 09:08:07 +0000");
  }
  EXPECT_EQ(report::FormatReportDate({2024, 2, 29, 12, 0, 0}, -60),
            "Thu, 29 Feb 2024 12:00:00 +0100");
  EXPECT_EQ(report::FormatReportDate({2000, 2, 29, 0, 0, 0}, 0), "Tue, 29 Feb 2000 00:00:00 +0000");
  EXPECT_EQ(report::FormatReportDate({1900, 3, 1, 0, 0, 0}, 0), "Thu, 1 Mar 1900 00:00:00 +0000");
}

TEST(Megabytes, RoundToTheNearestWholeWithTiesToEven) {
  const uint64_t mb = 1048576;
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 Mb"},
      {mb / 2, "0 Mb"},
      {mb / 2 + 1, "1 Mb"},
      {mb + mb / 2, "2 Mb"},
      {2 * mb + mb / 2, "2 Mb"},
      {3 * mb + mb / 2, "4 Mb"},
      {2147483647, "2048 Mb"},
      {25769803776ull, "24576 Mb"},
      {UINT64_MAX, "17592186044416 Mb"},
  };
  for (const Case& c : cases) EXPECT_EQ(report::FormatMegabytes(c.bytes), c.text) << c.bytes;
}

TEST(Gigabytes, ShowAtMostTwoDecimalsRoundedHalfAwayFromZero) {
  const uint64_t gb = 1073741824;
  struct Case {
    uint64_t bytes;
    const char* separator;
    const char* text;
  } cases[] = {
      {1610612736, ".", "1.5 Gb"},
      {4 * 1048576, ".", "0 Gb"},
      {3000000000ull, ".", "2.79 Gb"},
      {3000000000ull, ",", "2,79 Gb"},
      {gb / 8, ".", "0.13 Gb"},
      {3 * gb / 8, ".", "0.38 Gb"},  // exact ties
      {gb / 8 - 1, ".", "0.12 Gb"},
      {gb - 1, ".", "1 Gb"},
      {gb + gb / 20, ".", "1.05 Gb"},
      {gb + gb / 10, ".", "1.1 Gb"},
      {0, ".", "0 Gb"},
      {gb << 10, ".", "1024 Gb"},
      {1610612736, "", "15 Gb"},
      {1610612736, "<>", "1<>5 Gb"},
      {UINT64_MAX, ".", "17179869184 Gb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(report::FormatGigabytes(c.bytes, c.separator), c.text) << c.bytes;
  }
}

TEST(WindowsNames, FollowTheFixedTable) {
  using report::osPlatformNT;
  using report::osPlatformWin32s;
  using report::osPlatformWindows;
  struct Case {
    TOsVersionFacts os;
    const char* name;
  } cases[] = {
      {{osPlatformWindows, 4, 0, 950, ""}, "Microsoft Windows 95"},
      {{osPlatformWindows, 4, 0, 1111, " B "}, "Microsoft Windows 95 OSR 2"},
      {{osPlatformWindows, 4, 3, 1212, "C"}, "Microsoft Windows 95"},
      {{osPlatformWindows, 4, 10, 1998, ""}, "Microsoft Windows 98"},
      {{osPlatformWindows, 4, 10, 2222, " A "}, "Microsoft Windows 98 SE"},
      {{osPlatformWindows, 4, 89, 0, "a"}, "Microsoft Windows 98"},
      {{osPlatformWindows, 4, 90, 3000, ""}, "Microsoft Winsows ME"},
      {{osPlatformWindows, 4, 91, 0, ""}, ""},
      {{osPlatformNT, 4, 0, 1381, "Service Pack 6"}, "Microsoft Windows NT 4.0"},
      {{osPlatformNT, 5, 0, 2195, ""}, "Microsoft Windows 2000"},
      {{osPlatformNT, 5, 1, 2600, ""}, "Microsoft Windows XP"},
      {{osPlatformNT, 5, 2, 3790, ""}, "Microsoft Windows 2003"},
      {{osPlatformNT, 5, 3, 0, ""}, ""},
      {{osPlatformNT, 6, 0, 6000, ""}, ""},
      {{osPlatformNT, 6, 1, 7601, "Service Pack 1"}, ""},
      {{osPlatformNT, 10, 0, 19045, ""}, ""},
      {{osPlatformNT, 3, 51, 1057, ""}, ""},
      {{osPlatformWin32s, 3, 10, 0, ""}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(report::WindowsName(c.os), c.name) << c.os.Major << "." << c.os.Minor;
  }
}

TEST(WindowsNames, BuildAndUpdateTexts) {
  // NT 6 has no name but keeps its build number and service-pack text.
  const TOsVersionFacts seven{report::osPlatformNT, 6, 1, 7601, " Service Pack 1 "};
  EXPECT_EQ(report::WindowsBuild(seven), "7601");
  EXPECT_EQ(report::WindowsUpdate(seven), "Service Pack 1");
  // Windows 9x keeps the version in the high half of the build number.
  const TOsVersionFacts me{report::osPlatformWindows, 4, 90, 0x045A0BB8, ""};
  EXPECT_EQ(report::WindowsBuild(me), "3000");
  EXPECT_EQ(report::WindowsBuild({report::osPlatformNT, 5, 1, 0x80000001u, ""}), "2147483649");
}

}  // namespace

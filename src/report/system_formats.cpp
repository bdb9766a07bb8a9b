#include "report/system_formats.h"

#include <cstdio>

#include "report/report_text_rules.h"

namespace vl::report {

int DayOfWeek(int Year, int Month, int Day) {
  static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (Month < 1 || Month > 12) return 0;
  int64_t y = Year;
  if (Month < 3) y -= 1;
  // Floor division keeps years before 1 on the same cycle.
  auto floorDiv = [](int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
  };
  int64_t days =
      y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400) + kOffsets[Month - 1] + Day;
  int64_t result = days % 7;
  if (result < 0) result += 7;
  return static_cast<int>(result);
}

std::string FormatZone(int32_t Bias) {
  const int64_t hours = -static_cast<int64_t>(Bias) / 60;  // truncates toward zero
  std::string digits = std::to_string(hours < 0 ? -hours : hours);
  if (digits.size() == 1) digits = "0" + digits;
  return (hours < 0 ? "-" : "+") + digits + "00";
}

std::string FormatReportDate(const TReportTime& Time, int32_t Bias) {
  static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int month = Time.Month >= 1 && Time.Month <= 12 ? Time.Month : 1;
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s, %d %s %d %02d:%02d:%02d ",
                kDays[DayOfWeek(Time.Year, month, Time.Day)], Time.Day, kMonths[month - 1],
                Time.Year, Time.Hour, Time.Minute, Time.Second);
  return buffer + FormatZone(Bias);
}

std::string FormatMegabytes(uint64_t Bytes) {
  const uint64_t half = uint64_t{1} << 19;
  uint64_t whole = Bytes >> 20;
  const uint64_t rest = Bytes & ((uint64_t{1} << 20) - 1);
  if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  return std::to_string(whole) + " Mb";
}

std::string FormatGigabytes(uint64_t Bytes, const std::string& DecimalSeparator) {
  const uint64_t whole = Bytes >> 30;
  const uint64_t rest = Bytes & ((uint64_t{1} << 30) - 1);
  // rest * 100 < 2^37: no overflow. Half a hundredth rounds up (away from zero).
  const uint64_t hundredths = (rest * 100 + (uint64_t{1} << 29)) >> 30;
  const uint64_t units = whole + hundredths / 100;
  const uint64_t fraction = hundredths % 100;
  std::string out = std::to_string(units);
  if (fraction != 0) {
    out += DecimalSeparator;
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
  return out + " Gb";
}

std::string WindowsName(const TOsVersionFacts& Os) {
  if (Os.Platform == osPlatformWindows) {
    const std::string pack = TrimText(Os.ServicePack);
    if (Os.Minor < 10) return pack == "B" ? "Microsoft Windows 95 OSR 2" : "Microsoft Windows 95";
    if (Os.Minor < 90) return pack == "A" ? "Microsoft Windows 98 SE" : "Microsoft Windows 98";
    if (Os.Minor == 90) return "Microsoft Winsows ME";
    return std::string();
  }
  if (Os.Platform == osPlatformNT) {
    if (Os.Major == 4) return "Microsoft Windows NT 4.0";
    if (Os.Major == 5 && Os.Minor == 0) return "Microsoft Windows 2000";
    if (Os.Major == 5 && Os.Minor == 1) return "Microsoft Windows XP";
    if (Os.Major == 5 && Os.Minor == 2) return "Microsoft Windows 2003";
  }
  return std::string();
}

std::string WindowsBuild(const TOsVersionFacts& Os) {
  return std::to_string(Os.Platform == osPlatformWindows ? (Os.Build & 0xFFFFu) : Os.Build);
}

std::string WindowsUpdate(const TOsVersionFacts& Os) { return TrimText(Os.ServicePack); }

}  // namespace vl::report

// The formats of the report's system facts, kept apart from the system calls that gather the
// facts so they behave the same on every machine:
// - dates "Tue, 8 Dec 2026 23:14:21 +0500" with the zone from the base bias only (whole hours,
//   daylight saving ignored, as the log files have always shown it);
// - memory in whole megabytes and disk sizes in gigabytes with at most two decimals, both by
//   integer arithmetic, so the program's floating-point mode can neither change nor break them;
// - the operating-system names and the build and service-pack texts.
#pragma once

#include <cstdint>
#include <string>

namespace vl::report {

// A local date and time (month 1-12, day 1-31).
struct TReportTime {
  int Year = 0;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// 0 = Sunday ... 6 = Saturday, proleptic Gregorian calendar.
int DayOfWeek(int Year, int Month, int Day);

// "%s, %d %s %d %02d:%02d:%02d %s": day name, day, month name, year, time, zone. The zone is
// -Bias / 60 hours (truncated toward zero) with sign and two digits, then "00"; Bias in minutes
// (UTC = local + Bias): -330 gives "+0500", 300 gives "-0500".
std::string FormatReportDate(const TReportTime& Time, int32_t Bias);
// The zone part alone.
std::string FormatZone(int32_t Bias);

// Bytes / 1048576 rounded to the nearest whole number (ties to even), then " Mb".
std::string FormatMegabytes(uint64_t Bytes);

// Bytes / 1073741824 in the pattern "0.##" (hundredths rounded half away from zero, no trailing
// zeros, DecimalSeparator between the parts), then " Gb".
std::string FormatGigabytes(uint64_t Bytes, const std::string& DecimalSeparator);

// The operating system as the version query reports it.
enum : uint32_t { osPlatformWin32s = 0, osPlatformWindows = 1, osPlatformNT = 2 };
struct TOsVersionFacts {
  uint32_t Platform = osPlatformNT;
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t Build = 0;
  std::string ServicePack;
};

// The edition name from the fixed table (Windows 95 to 2003; "Microsoft Winsows ME" is spelt as
// every log ever written spells it); empty for any other version, NT 6 and later included.
std::string WindowsName(const TOsVersionFacts& Os);
// The build number in decimal; on Windows 9x only its low 16 bits.
std::string WindowsBuild(const TOsVersionFacts& Os);
// The service-pack text, trimmed.
std::string WindowsUpdate(const TOsVersionFacts& Os);

}  // namespace vl::report

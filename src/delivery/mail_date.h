// The date of a mail message's "Date:" header.
#pragma once

#include <string>

namespace vl::delivery {

// A local date and time, as the system clock gives it.
struct MailTime {
  int Year = 0;
  int Month = 1;      // 1..12
  int Day = 1;        // 1..31
  int DayOfWeek = 0;  // 0 = Sunday .. 6 = Saturday
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// "Fri, 5 Mar 2004 09:07:03 +0100". BiasMinutes is the system's time-zone bias in force at that
// moment (UTC = local time + bias; daylight saving already applied), written with its minutes:
// a bias of -330 gives "+0530". Out-of-range day or month numbers give "???" instead of a name.
std::string FormatMailDate(const MailTime& time, int biasMinutes);

}  // namespace vl::delivery

#include "delivery/mail_date.h"

#include <cstdio>
#include <cstdlib>

namespace vl::delivery {

std::string FormatMailDate(const MailTime& t, int biasMinutes) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = t.DayOfWeek >= 0 && t.DayOfWeek < 7 ? kDays[t.DayOfWeek] : "???";
  const char* month = t.Month >= 1 && t.Month <= 12 ? kMonths[t.Month - 1] : "???";
  const long offset = -static_cast<long>(biasMinutes);
  const long magnitude = std::labs(offset) % (100 * 60);  // the zone field has four digits
  char text[96];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", day, t.Day, month,
                t.Year, t.Hour, t.Minute, t.Second, offset < 0 ? '-' : '+', magnitude / 60,
                magnitude % 60);
  return text;
}

}  // namespace vl::delivery

#include <time.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <ostream>

#include "SimpleTime.h"

namespace SimpleTime {
namespace {

// Seconds beyond this are outside every calendar the system can break down.
constexpr double max_seconds = 9.0e18;

bool fits_int(std::int64_t value) {
  return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

// timegm() gives -1 both for failure and for 1969/12/31 23:59:59; only in the
// second case has it normalised the record to that second.
bool is_last_second_before_epoch(std::tm const& fields) {
  return fields.tm_year == 69 && fields.tm_mon == 11 && fields.tm_mday == 31 &&
         fields.tm_hour == 23 && fields.tm_min == 59 && fields.tm_sec == 59;
}

}  // namespace

UtcTime::UtcTime(std::int32_t year_, std::int32_t month_, std::int32_t day_, std::int32_t hour_,
                 std::int32_t minute_, std::int32_t second_, std::int32_t millisecond_)
    : year(year_),
      month(month_),
      day(day_),
      hour(hour_),
      minute(minute_),
      second(second_),
      millisecond(millisecond_) {}

UtcTime::UtcTime(PhysicalTime const& t) : UtcTime() {
  // Whole milliseconds, rounded down so that times before the epoch break
  // down into ordinary calendar fields too.
  double whole_ms = std::floor((t - PhysicalTime()) / Duration::Millisecond);
  double whole_seconds = std::floor(whole_ms / 1000.0);
  if (!std::isfinite(whole_seconds) || std::fabs(whole_seconds) > max_seconds) return;
  time_t seconds = static_cast<time_t>(whole_seconds);
  std::tm fields{};
  if (gmtime_r(&seconds, &fields) == nullptr) return;
  if (static_cast<std::int64_t>(fields.tm_year) + 1900 > std::numeric_limits<std::int32_t>::max())
    return;
  year = fields.tm_year + 1900;
  month = fields.tm_mon + 1;
  day = fields.tm_mday;
  hour = fields.tm_hour;
  minute = fields.tm_min;
  second = fields.tm_sec;
  millisecond = static_cast<std::int32_t>(whole_ms - whole_seconds * 1000.0);
}

PhysicalTime UtcTime::physicalTime() const {
  std::int64_t tm_year = static_cast<std::int64_t>(year) - 1900;
  std::int64_t tm_mon = static_cast<std::int64_t>(month) - 1;
  if (!fits_int(tm_year) || !fits_int(tm_mon)) throw IncorrectUtcTime();
  std::tm fields{};
  fields.tm_year = static_cast<int>(tm_year);
  fields.tm_mon = static_cast<int>(tm_mon);
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = 0;
  // timegm reads the fields as UTC, whatever the local time zone.
  time_t seconds = timegm(&fields);
  if (seconds == static_cast<time_t>(-1) && !is_last_second_before_epoch(fields))
    throw IncorrectUtcTime();
  double milliseconds = static_cast<double>(seconds) * 1000.0 + millisecond;
  return PhysicalTime() + Duration::Millisecond * milliseconds;
}

std::ostream& UtcTime::print(std::ostream& os, Separator const& sep) const {
  os.fill('0');
  os << std::setw(4) << year << sep.date << std::setw(2) << month << sep.date << std::setw(2) << day
     << sep.date_time << std::setw(2) << hour << sep.time << std::setw(2) << minute << sep.time
     << std::setw(2) << second << sep.fraction << std::setw(3) << millisecond;
  os.fill(' ');
  return os;
}

}  // namespace SimpleTime

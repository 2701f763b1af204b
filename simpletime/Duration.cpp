#include <cmath>
#include <limits>
#include <ostream>

#include "SimpleTime.h"
#include "simpletime/Internal.h"

namespace SimpleTime {
namespace {

// Chops rest by unit and returns the count of whole units taken out.
std::int32_t take_whole_units(Duration& rest, Duration const& unit) {
  std::int32_t count = Internal::whole_count(rest / unit);
  rest -= unit * count;
  return count;
}

}  // namespace

namespace Internal {

std::int32_t whole_count(double q) {
  using Limits = std::numeric_limits<std::int32_t>;
  if (std::isnan(q)) return 0;
  if (q >= static_cast<double>(Limits::max())) return Limits::max();
  if (q <= static_cast<double>(Limits::min())) return Limits::min();
  return static_cast<std::int32_t>(q);
}

}  // namespace Internal

double operator/(Duration const& a, Duration const& b) {
  if (b.ms_ == 0.0) throw DivideByZero();
  return a.ms_ / b.ms_;
}

Duration& Duration::operator/=(double divisor) {
  if (divisor == 0.0) throw DivideByZero();
  ms_ /= divisor;
  return *this;
}

Duration& Duration::operator%=(Duration const& unit) {
  take_whole_units(*this, unit);
  return *this;
}

Duration& Duration::chop(Duration const& unit) { return *this %= unit; }

Duration Duration::chop(Duration const& unit) const {
  Duration rest(*this);
  return rest %= unit;
}

std::ostream& operator<<(std::ostream& os, Duration const& d) {
  if (d < Zero) os << '-';
  Duration const magnitude = d < Duration::Zero ? -d : d;
  Duration rest = magnitude;
  std::int32_t days = take_whole_units(rest, Duration::Day);
  std::int32_t hours = take_whole_units(rest, Duration::Hour);
  std::int32_t minutes = take_whole_units(rest, Duration::Minute);
  double seconds = rest / Duration::Second;
  // Each test looks at the whole magnitude: once a higher field is written,
  // every lower one is too.
  if (magnitude >= Duration::Day) os << days << "::";
  if (magnitude >= Duration::Hour) os << hours << ':';
  if (magnitude >= Duration::Minute) os << minutes << ':';
  // Whole microseconds; a rounding up to 60 s is not carried into the minutes.
  std::int32_t microseconds = Internal::whole_count(seconds * 1000000.0 + 0.5);
  return os << microseconds * 0.000001;
}

std::ostream& operator<<(std::ostream& os, PhysicalTime const& t) {
  Duration since_epoch = t - PhysicalTime();
  if (since_epoch < Duration::Zero) return os << since_epoch;
  return UtcTime(t).print(os, UtcTime::Separator{'/', ' ', ':', '.'});
}

}  // namespace SimpleTime

// SimpleTime: a small time library. A signed length of time (Duration), a
// point on the physical time line (PhysicalTime), a broken-down UTC calendar
// time (UtcTime) and the process's wall clock (clock()). Every printed time
// of the library comes from the printing operations declared here.
#ifndef VANTREL_SIMPLETIME_H
#define VANTREL_SIMPLETIME_H

#include <ZelTools/Portable.h>

#include <cstdint>
#include <iosfwd>

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

namespace SimpleTime {

// Root of the time library's exceptions; print() writes
// "unknown SimpleTime::Exception".
struct VANTREL_API Exception : ZelTools::Exception {
  ~Exception() override;
  std::ostream& print(std::ostream& os) const override;
};

// A calendar time the system cannot convert; print() writes
// "incorrect SimpleTime::UtcTime".
struct VANTREL_API IncorrectUtcTime : Exception {
  std::ostream& print(std::ostream& os) const override;
};

// Division by a zero double or a zero duration, or chopping by a zero unit;
// print() writes "cannot DivideByZero a SimpleTime::Duration".
struct VANTREL_API DivideByZero : Exception {
  std::ostream& print(std::ostream& os) const override;
};

class Duration;
class PhysicalTime;

// The ratio a / b of two durations; throws DivideByZero when b is zero.
VANTREL_API double operator/(Duration const& a, Duration const& b);

// A signed length of time: a number of milliseconds as a double (fractions
// allowed). Built from the six constants, e.g. 5 * Second, Minute * 1.5; read
// back as a ratio, e.g. d / Millisecond.
//
// Printed (operator<<) as [-][days::][hours:][minutes:]seconds, each higher
// field present once the whole magnitude reaches its unit, no padding, the
// seconds rounded to whole microseconds and written under the stream's
// floating-point settings (by default 6 significant digits):
//   0 => "0"            1500 ms => "1.5"        -1500 ms => "-1.5"
//   61 s => "1:1"       1 h => "1:0:0"          1 h 5 s => "1:0:5"
//   1 day => "1::0:0:0" 1 day 1 h 1 min 1.5 s => "1::1:1:1.5"
//   119.9999999 s => "1:60" (the rounding is not carried into the minutes)
class VANTREL_API Duration {
 public:
  // Zero.
  Duration() = default;

  Duration& operator+=(Duration const& d) {
    ms_ += d.ms_;
    return *this;
  }
  Duration& operator-=(Duration const& d) {
    ms_ -= d.ms_;
    return *this;
  }
  Duration& operator*=(double factor) {
    ms_ *= factor;
    return *this;
  }
  Duration& operator*=(int factor) {
    ms_ *= static_cast<double>(factor);
    return *this;
  }
  // Throws DivideByZero (value unchanged) when divisor is 0.0 or -0.0. A NaN
  // divisor gives NaN.
  Duration& operator/=(double divisor);
  // The remainder modulo unit, with the sign of this duration:
  // 2500 ms % Second => 500 ms, -2500 ms % Second => -500 ms. Throws
  // DivideByZero (value unchanged) when unit is zero. The count of whole units
  // saturates at the limits of a 32-bit integer.
  Duration& operator%=(Duration const& unit);
  // The same as %=.
  Duration& chop(Duration const& unit);
  // The remainder modulo unit; this duration is unchanged.
  Duration chop(Duration const& unit) const;

  // References to the same six cells as the namespace-scope constants below
  // (&Duration::Second == &SimpleTime::Second). Valid once the library has
  // started (SimpleTimeInitExit).
  static Duration const& Zero;         // 0 ms
  static Duration const& Millisecond;  // 1 ms
  static Duration const& Second;       // 1000 ms
  static Duration const& Minute;       // 60000 ms
  static Duration const& Hour;         // 3600000 ms
  static Duration const& Day;          // 86400000 ms

  // IEEE comparisons: a NaN compares unequal and not less.
  friend bool operator==(Duration const& a, Duration const& b) { return a.ms_ == b.ms_; }
  friend bool operator!=(Duration const& a, Duration const& b) { return !(a == b); }
  friend bool operator<(Duration const& a, Duration const& b) { return a.ms_ < b.ms_; }
  friend bool operator>(Duration const& a, Duration const& b) { return b < a; }
  friend bool operator>=(Duration const& a, Duration const& b) { return !(a < b); }
  friend bool operator<=(Duration const& a, Duration const& b) { return !(b < a); }

  friend Duration operator-(Duration const& d) { return Duration(d.ms_ * -1.0); }
  friend Duration operator+(Duration const& a, Duration const& b) {
    return Duration(a.ms_ + b.ms_);
  }
  friend Duration operator-(Duration const& a, Duration const& b) {
    return Duration(a.ms_ - b.ms_);
  }
  friend Duration operator*(Duration const& d, double f) { return Duration(d.ms_ * f); }
  friend Duration operator*(double f, Duration const& d) { return Duration(d.ms_ * f); }
  friend Duration operator*(Duration const& d, int f) {
    return Duration(d.ms_ * static_cast<double>(f));
  }
  friend Duration operator*(int f, Duration const& d) {
    return Duration(d.ms_ * static_cast<double>(f));
  }

 private:
  friend class PhysicalTime;
  friend class SimpleTimeInitExit;
  friend double operator/(Duration const& a, Duration const& b);

  constexpr explicit Duration(double ms) : ms_(ms) {}

  double ms_ = 0.0;
};

// The six duration constants (the same cells as Duration::Zero, ...).
VANTREL_API extern Duration const& Zero;
VANTREL_API extern Duration const& Millisecond;
VANTREL_API extern Duration const& Second;
VANTREL_API extern Duration const& Minute;
VANTREL_API extern Duration const& Hour;
VANTREL_API extern Duration const& Day;

// A point on the physical time line: milliseconds since 1970-01-01
// 00:00:00.000 UTC (the epoch) as a double. Values before the epoch are legal.
// Built from the epoch and a duration: PhysicalTime() + 5 * Second.
//
// Printed (operator<<) as "YYYY/MM/DD HH:MM:SS.mmm" in UTC, e.g.
// "2007/03/05 04:02:07.045"; a time before the epoch prints as the (negative)
// duration from the epoch, e.g. one millisecond before it prints "-0.001".
class VANTREL_API PhysicalTime {
 public:
  // The epoch.
  PhysicalTime() = default;

  PhysicalTime& operator+=(Duration const& d) {
    ms_ += d.ms_;
    return *this;
  }
  PhysicalTime& operator-=(Duration const& d) {
    ms_ -= d.ms_;
    return *this;
  }

  friend PhysicalTime operator+(PhysicalTime const& t, Duration const& d) {
    PhysicalTime result(t);
    return result += d;
  }
  friend PhysicalTime operator+(Duration const& d, PhysicalTime const& t) { return t + d; }
  friend PhysicalTime operator-(PhysicalTime const& t, Duration const& d) {
    PhysicalTime result(t);
    return result -= d;
  }
  // The time elapsed from b to a.
  friend Duration operator-(PhysicalTime const& a, PhysicalTime const& b) {
    return milliseconds(a.ms_ - b.ms_);
  }
  // IEEE comparisons.
  friend bool operator==(PhysicalTime const& a, PhysicalTime const& b) { return a.ms_ == b.ms_; }
  friend bool operator!=(PhysicalTime const& a, PhysicalTime const& b) { return !(a == b); }
  friend bool operator<(PhysicalTime const& a, PhysicalTime const& b) { return a.ms_ < b.ms_; }
  friend bool operator>(PhysicalTime const& a, PhysicalTime const& b) { return b < a; }
  friend bool operator>=(PhysicalTime const& a, PhysicalTime const& b) { return !(a < b); }
  friend bool operator<=(PhysicalTime const& a, PhysicalTime const& b) { return !(b < a); }

 private:
  static Duration milliseconds(double ms) { return Duration(ms); }

  double ms_ = 0.0;
};

VANTREL_API std::ostream& operator<<(std::ostream& os, Duration const& d);
VANTREL_API std::ostream& operator<<(std::ostream& os, PhysicalTime const& t);

// A broken-down UTC calendar time: seven integers stored as given (nothing
// is checked on construction). The defaults give the epoch.
class VANTREL_API UtcTime {
 public:
  // The characters between the printed fields, in this order: between year,
  // month and day; between date and time of day; between hour, minute and
  // second; before the milliseconds. In use:
  //   Separator{'/', ' ', ':', '.'}  => "2007/03/05 04:02:07.045"  (printed times)
  //   Separator{'_', '_', '_', '_'}  => "2007_03_05_04_02_07_045"  (log file names)
  struct Separator {
    char date;
    char date_time;
    char time;
    char fraction;
  };

  UtcTime(std::int32_t year = 1970, std::int32_t month = 1, std::int32_t day = 1,
          std::int32_t hour = 0, std::int32_t minute = 0, std::int32_t second = 0,
          std::int32_t millisecond = 0);
  // The UTC calendar fields of t; fractions of a millisecond are dropped.
  // Before the epoch the fields are those of the calendar too (one millisecond
  // before it is 1969/12/31 23:59:59.999). A time the system cannot break down
  // (not finite, or beyond its calendar) gives the epoch's fields.
  UtcTime(PhysicalTime const& t);

  // The time point of these fields read as UTC, in any local time zone:
  // UtcTime(t).physicalTime() is t to the millisecond. Out-of-range fields are
  // normalised (month 13 is January of the next year, second 75 is one minute
  // and 15 seconds); millisecond is added as it is. Throws IncorrectUtcTime
  // when the system cannot convert the fields.
  PhysicalTime physicalTime() const;

  // Writes the fields zero-filled to widths 4, 2, 2, 2, 2, 2, 3 with the
  // separators between them, e.g. "2007/03/05 04:02:07.045". Leaves the
  // stream's fill character set to ' '. Returns os.
  std::ostream& print(std::ostream& os, Separator const& sep) const;

  std::int32_t year;         // full year, e.g. 2007
  std::int32_t month;        // 1 to 12
  std::int32_t day;          // 1 to 31
  std::int32_t hour;         // 0 to 23
  std::int32_t minute;       // 0 to 59
  std::int32_t second;       // 0 to 59
  std::int32_t millisecond;  // 0 to 999
};

// A source of the current time.
class VANTREL_API Clock {
 public:
  Clock() = default;
  Clock(Clock const&) = default;
  Clock& operator=(Clock const&) = default;
  virtual ~Clock();
  // The current time point.
  virtual PhysicalTime now() const = 0;
};

// The process's wall clock (the system's real-time clock in whole
// milliseconds; successive readings may go back when the clock is set back).
// Safe to call from any thread; stays usable until the process ends, static
// destructors included. The current time is clock().now().
VANTREL_API Clock const& clock();

// The time library's counted initialiser. This header places one in every
// translation unit that includes it; the first construction gives the six
// duration constants their values and creates the clock.
class VANTREL_API SimpleTimeInitExit {
 public:
  SimpleTimeInitExit();
  ~SimpleTimeInitExit();
  SimpleTimeInitExit(SimpleTimeInitExit const&) = delete;
  SimpleTimeInitExit& operator=(SimpleTimeInitExit const&) = delete;

 private:
  static void init();
  static void exit();
};

static SimpleTimeInitExit simple_time_init_exit;

}  // namespace SimpleTime

#endif

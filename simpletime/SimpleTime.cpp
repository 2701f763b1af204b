// The duration constants, the clock and the library's counted initialiser.
#include <time.h>

#include <atomic>

#include "SimpleTime.h"
#include "simpletime/Internal.h"

namespace SimpleTime {
namespace {

// The six constant cells. Zero until SimpleTimeInitExit::init() stores their
// values during library start; read-only afterwards, so readers need no lock.
Duration zero_cell;
Duration millisecond_cell;
Duration second_cell;
Duration minute_cell;
Duration hour_cell;
Duration day_cell;

// The number of live SimpleTimeInitExit objects. acq_rel: the construction
// that finds 0 stores the constants, and a later construction in another
// thread sees them stored.
std::atomic<int> init_exit_count{0};

class NativeClockImpl : public Clock {
 public:
  PhysicalTime now() const override {
    timespec reading{};
    Internal::Sys::clock_gettime(CLOCK_REALTIME, &reading);
    return Internal::whole_milliseconds(reading);
  }
};

}  // namespace

Duration const& Duration::Zero = zero_cell;
Duration const& Duration::Millisecond = millisecond_cell;
Duration const& Duration::Second = second_cell;
Duration const& Duration::Minute = minute_cell;
Duration const& Duration::Hour = hour_cell;
Duration const& Duration::Day = day_cell;

Duration const& Zero = zero_cell;
Duration const& Millisecond = millisecond_cell;
Duration const& Second = second_cell;
Duration const& Minute = minute_cell;
Duration const& Hour = hour_cell;
Duration const& Day = day_cell;

Clock::~Clock() {}

// Created on the first call (during library start, by SimpleTimeInitExit;
// the language's guarded static initialisation makes a racing first call
// safe too) and never destroyed, so that host objects destroyed late in the
// process's exit can still read the time. now() touches no shared state.
Clock const& clock() {
  static NativeClockImpl const* const native_clock = new NativeClockImpl;
  return *native_clock;
}

namespace Internal {

int (*Sys::clock_gettime)(clockid_t, timespec*) = ::clock_gettime;

PhysicalTime whole_milliseconds(timespec const& reading) {
  double milliseconds =
      static_cast<double>(reading.tv_sec) * 1000.0 + static_cast<double>(reading.tv_nsec / 1000000);
  return PhysicalTime() + Duration::Millisecond * milliseconds;
}

}  // namespace Internal

SimpleTimeInitExit::SimpleTimeInitExit() {
  if (init_exit_count.fetch_add(1, std::memory_order_acq_rel) == 0) init();
}

SimpleTimeInitExit::~SimpleTimeInitExit() {
  if (init_exit_count.fetch_sub(1, std::memory_order_acq_rel) == 1) exit();
}

void SimpleTimeInitExit::init() {
  zero_cell = Duration(0.0);
  millisecond_cell = Duration(1.0);
  second_cell = Duration(1000.0);
  minute_cell = Duration(60000.0);
  hour_cell = Duration(3600000.0);
  day_cell = Duration(86400000.0);
  // Creates the clock now, while the library starts single-threaded.
  static_cast<void>(clock().now());
}

// The constants and the clock outlive every initialiser: nothing to undo.
void SimpleTimeInitExit::exit() {}

}  // namespace SimpleTime

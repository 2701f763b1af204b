// Functions shared by the time library's sources, and the clock's test seam.
#ifndef VANTREL_SIMPLETIME_INTERNAL_H
#define VANTREL_SIMPLETIME_INTERNAL_H

#include <time.h>

#include <cstdint>

#include "SimpleTime.h"

namespace SimpleTime {
namespace Internal {

// A count of whole units: q truncated toward zero into a 32-bit integer.
// Beyond the integer's range the count saturates at its limits, and a NaN
// counts 0, so no input makes the conversion undefined.
std::int32_t whole_count(double q);

// The time point of a system clock reading, truncated to whole milliseconds
// (log file names carry milliseconds, and two readings within the same
// millisecond must give equal names).
PhysicalTime whole_milliseconds(timespec const& reading);

// Seam around the system clock that clock() reads: a test replaces the
// pointer to stop the clock or move it on at will. Plain pointer, no lock:
// it is replaced only while no other thread reads the time.
struct Sys {
  static int (*clock_gettime)(clockid_t, timespec*);
};

}  // namespace Internal
}  // namespace SimpleTime

#endif

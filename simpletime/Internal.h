// Functions shared by the time library's sources. No state, no locks.
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

}  // namespace Internal
}  // namespace SimpleTime

#endif

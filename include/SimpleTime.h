// SimpleTime: durations, time points, UTC calendar time and the clock.
// (Placeholder: being written.)
#ifndef VANTREL_SIMPLETIME_H
#define VANTREL_SIMPLETIME_H

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

namespace SimpleTime {
VANTREL_API double clock();
}

#endif

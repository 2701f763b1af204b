// The clock: whole milliseconds of the system's real-time clock.
#include <time.h>

#include <gtest/gtest.h>

#include "SimpleTime.h"
#include "simpletime/Internal.h"
#include "zeltools/cases_support.h"

namespace {

using namespace SimpleTime;

double since_epoch(const PhysicalTime& t) { return (t - PhysicalTime()) / Millisecond; }

double whole_ms(time_t seconds, long nanoseconds) {
  timespec reading{};
  reading.tv_sec = seconds;
  reading.tv_nsec = nanoseconds;
  return since_epoch(Internal::whole_milliseconds(reading));
}

TEST(ClockTest, ReadingsAreTruncatedToWholeMilliseconds) {
  for (const auto& c : cases::read("simpletime/cases/clock_readings.txt"))
    EXPECT_EQ(whole_ms(std::stol(c[0]), std::stol(c[1])), std::stod(c[2])) << c[0] << " " << c[1];
  timespec before{}, after{};
  clock_gettime(CLOCK_REALTIME, &before);
  const double now = since_epoch(SimpleTime::clock().now());
  clock_gettime(CLOCK_REALTIME, &after);
  EXPECT_GE(now, whole_ms(before.tv_sec, before.tv_nsec));
  EXPECT_LE(now, whole_ms(after.tv_sec, after.tv_nsec));
}

}  // namespace

// The clock: whole milliseconds of the system's real-time clock.
#include <time.h>

#include <gtest/gtest.h>

#include "SimpleTime.h"
#include "simpletime/Internal.h"

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
  EXPECT_EQ(whole_ms(0, 999999), 0);
  EXPECT_EQ(whole_ms(0, 1000000), 1);
  EXPECT_EQ(whole_ms(1, 999999999), 1999);
  EXPECT_EQ(whole_ms(4102444800, 45999999), 4102444800045.0);
  timespec before{}, after{};
  clock_gettime(CLOCK_REALTIME, &before);
  const double now = since_epoch(SimpleTime::clock().now());
  clock_gettime(CLOCK_REALTIME, &after);
  EXPECT_GE(now, whole_ms(before.tv_sec, before.tv_nsec));
  EXPECT_LE(now, whole_ms(after.tv_sec, after.tv_nsec));
}

}  // namespace

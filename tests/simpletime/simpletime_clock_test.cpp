// The clock: whole milliseconds of the system's real-time clock.
#include <time.h>

#include <gtest/gtest.h>

#include "SimpleTime.h"
#include "simpletime/Internal.h"

namespace {

using namespace SimpleTime;

double since_epoch(const PhysicalTime& t) { return (t - PhysicalTime()) / Millisecond; }

TEST(ClockTest, ReadingsAreTruncatedToWholeMilliseconds) {
  const struct {
    time_t seconds;
    long nanoseconds;
    double milliseconds;
  } cases[] = {
      {0, 0, 0},
      {0, 999999, 0},
      {0, 1000000, 1},
      {1, 999999999, 1999},
      {1173067327, 45999999, 1173067327045.0},
      {4102444800, 0, 4102444800000.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.milliseconds);
    timespec reading{};
    reading.tv_sec = c.seconds;
    reading.tv_nsec = c.nanoseconds;
    EXPECT_EQ(since_epoch(Internal::whole_milliseconds(reading)), c.milliseconds);
  }
}

TEST(ClockTest, NowFollowsTheSystemClock) {
  timespec before{};
  clock_gettime(CLOCK_REALTIME, &before);
  double now = since_epoch(SimpleTime::clock().now());
  timespec after{};
  clock_gettime(CLOCK_REALTIME, &after);
  EXPECT_GE(now, since_epoch(Internal::whole_milliseconds(before)));
  EXPECT_LE(now, since_epoch(Internal::whole_milliseconds(after)));
  EXPECT_EQ(now, static_cast<double>(static_cast<long long>(now))) << "whole milliseconds";
}

}  // namespace

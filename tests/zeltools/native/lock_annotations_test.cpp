// The message lock as ThreadSanitizer sees it through the lock's annotations:
// two locks taken in both orders are reported (plain atomics would hide
// that). Only meaningful under ThreadSanitizer.
#include <gtest/gtest.h>

#include <cstdlib>

#include "zeltools/native/Native.h"

namespace {

TEST(LockAnnotationsTest, LockOrderInversionIsReported) {
#ifndef VANTREL_TSAN
  GTEST_SKIP() << "needs a ThreadSanitizer build (make test-tsan)";
#else
  using ZelTools::Native::RecursiveGuard;
  using ZelTools::Native::RecursiveLock;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RecursiveLock a, b;
  auto take_in_order = [](RecursiveLock& first, RecursiveLock& second) {
    RecursiveGuard outer(first);
    RecursiveGuard inner(second);
  };
  // ThreadSanitizer's exit status after a report is 66.
  EXPECT_EXIT((take_in_order(a, b), take_in_order(b, a), std::exit(0)), testing::ExitedWithCode(66),
              "lock-order-inversion");
#endif
}

}  // namespace

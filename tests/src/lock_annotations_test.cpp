// The message lock as ThreadSanitizer sees it: through the lock's
// annotations it reports two locks taken in both orders, which it cannot
// see in plain atomics. Only meaningful in a ThreadSanitizer build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "zeltools/native/Native.h"

namespace {

#ifdef VANTREL_TSAN
using ZelTools::Native::RecursiveGuard;
using ZelTools::Native::RecursiveLock;
#endif

#ifdef VANTREL_TSAN
// Takes `first` then `second`, one level each, and gives both back.
void take_in_order(RecursiveLock& first, RecursiveLock& second) {
  RecursiveGuard outer(first);
  RecursiveGuard inner(second);
}
#endif

TEST(LockAnnotationsTest, ThreadSanitizerReportsALockOrderInversion) {
#ifndef VANTREL_TSAN
  GTEST_SKIP() << "needs a ThreadSanitizer build (make test-tsan)";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // ThreadSanitizer's exit status after a report is 66.
  EXPECT_EXIT(
      {
        RecursiveLock a;
        RecursiveLock b;
        take_in_order(a, b);
        take_in_order(b, a);
        std::exit(0);
      },
      testing::ExitedWithCode(66), "lock-order-inversion");
#endif
}

// Nested levels are not new acquisitions for ThreadSanitizer: taking a held
// lock again reports nothing.
TEST(LockAnnotationsTest, NestedLevelsAreNotReported) {
#ifndef VANTREL_TSAN
  GTEST_SKIP() << "needs a ThreadSanitizer build (make test-tsan)";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        RecursiveLock a;
        RecursiveLock b;
        RecursiveGuard outer(a);
        take_in_order(b, a);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
#endif
}

}  // namespace

// The message lock as ThreadSanitizer sees it: through the lock's
// annotations it reports two locks taken in both orders, which it cannot
// see in plain atomics, and nothing for a held lock taken again. Only
// meaningful in a ThreadSanitizer build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "zeltools/native/Native.h"

namespace {

#ifdef VANTREL_TSAN
using ZelTools::Native::RecursiveGuard;
using ZelTools::Native::RecursiveLock;

// Takes `first` then `second`, one level each, and gives both back.
void take_in_order(RecursiveLock& first, RecursiveLock& second) {
  RecursiveGuard outer(first);
  RecursiveGuard inner(second);
}
#endif

TEST(LockAnnotationsTest, LockOrderInversionIsReportedNestingIsNot) {
#ifndef VANTREL_TSAN
  GTEST_SKIP() << "needs a ThreadSanitizer build (make test-tsan)";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RecursiveLock a;
  RecursiveLock b;
  // ThreadSanitizer's exit status after a report is 66.
  EXPECT_EXIT(
      {
        take_in_order(a, b);
        take_in_order(b, a);
        std::exit(0);
      },
      testing::ExitedWithCode(66), "lock-order-inversion");
  EXPECT_EXIT(
      {
        RecursiveGuard outer(a);
        take_in_order(b, a);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
#endif
}

}  // namespace

// The message lock: nesting counters, mutual exclusion across threads, a
// waiter held off until the owner's last level, and the sleeping path.
#include <gtest/gtest.h>
#include <linux/futex.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "zeltools/native/Native.h"

namespace {

using ZelTools::Native::RecursiveGuard;
using ZelTools::Native::RecursiveLock;
using ZelTools::Native::Sys;

// Counts the lock's futex calls, passing them on; the counts start at zero
// with each counter, so cases may run in any order.
struct FutexCounter {
  static inline std::atomic<int> waits{0}, wakes{0};  // relaxed: read after joins
  static inline long (*original)(int*, int, int) = nullptr;

  static long count(int* word, int op, int value) {
    (op == FUTEX_WAIT_PRIVATE ? waits : wakes).fetch_add(1, std::memory_order_relaxed);
    return original(word, op, value);
  }
  // A wait that returns at once (a signal, say).
  static long interrupted(int* word, int op, int value) {
    if (op != FUTEX_WAIT_PRIVATE) return count(word, op, value);
    waits.fetch_add(1, std::memory_order_relaxed);
    return errno = EINTR, -1;
  }
  explicit FutexCounter(long (*seam)(int*, int, int) = count) {
    waits = 0;
    wakes = 0;
    original = Sys::futex;
    Sys::futex = seam;
  }
  ~FutexCounter() { Sys::futex = original; }
};

// Levels taken (+) and given back (-), each with depth/max_depth after it:
// max_depth lasts until the last level goes; a stray unlock changes nothing.
TEST(native_lock, depth_and_max_depth_follow_the_levels) {
  std::istringstream steps("+1/1 +2/2 -1/2 +2/2 +3/3 -2/3 -1/3 -0/0 +1/1 -0/0 -0/0 +1/1 -0/0");
  RecursiveLock lock;
  for (std::string step; steps >> step;) {
    const unsigned depth = step[0] == '+' ? lock.lock() : (lock.unlock(), lock.depth());
    EXPECT_EQ(step.substr(1), std::to_string(depth) + "/" + std::to_string(lock.max_depth()));
    EXPECT_EQ(lock.depth(), depth) << step;
  }
}

// Once the waiter sleeps (seen through the counter; one that never sleeps
// hangs the case), the holder gives back three levels with a pause before
// each; the waiter gets in only after the last, also when its sleeps are
// interrupted.
TEST(native_lock, waiter_enters_only_after_the_owners_last_unlock) {
  for (auto seam : {FutexCounter::count, FutexCounter::interrupted}) {
    FutexCounter counter(seam);
    RecursiveLock lock;
    for (int level = 0; level < 3; ++level) lock.lock();
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
      lock.lock();
      entered = true;
      lock.unlock();
    });
    while (FutexCounter::waits.load() == 0) std::this_thread::yield();
    for (int level = 3; level > 0; --level) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      EXPECT_FALSE(entered.load()) << "waiter entered with " << level << " levels held";
      lock.unlock();
    }
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(seam != FutexCounter::count || FutexCounter::wakes.load() > 0);
  }
}

// Each thread adds twice per round, one level deeper the second time; a
// plain counter shows any overlap (ThreadSanitizer: a race). Some sections
// outlast the spinning, so threads sleep and are woken again and again (a
// lost wake-up hangs). Afterwards, uncontended, the lock makes no system call.
TEST(native_lock, excludes_other_threads_and_wakes_every_sleeper) {
  constexpr int threads = 4, rounds = 20000;
  FutexCounter counter;
  RecursiveLock lock;
  long added = 0;
  std::atomic<int> wrong_depths{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < rounds; ++i) {
        if (lock.lock() != 1) wrong_depths.fetch_add(1);
        ++added;
        if (lock.lock() != 2) wrong_depths.fetch_add(1);
        ++added;
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50 + 25 * t));
        lock.unlock();
        lock.unlock();
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(added, 2L * threads * rounds);
  EXPECT_EQ(wrong_depths.load(), 0);
  EXPECT_EQ(lock.depth(), 0u);
  EXPECT_GT(FutexCounter::waits.load(), 0);
  const int calls = FutexCounter::waits.load() + FutexCounter::wakes.load();
  for (int i = 0; i < 1000; ++i) {
    RecursiveGuard outer(lock);
    RecursiveGuard inner(lock);
  }
  EXPECT_EQ(FutexCounter::waits.load() + FutexCounter::wakes.load(), calls);
}

}  // namespace

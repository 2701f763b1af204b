// The message lock: nesting counters, mutual exclusion across threads, a
// waiter held off until the owner's last level, and the sleeping path.
#include <gtest/gtest.h>
#include <linux/futex.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "zeltools/native/Native.h"

namespace {

using ZelTools::Native::RecursiveGuard;
using ZelTools::Native::RecursiveLock;
using ZelTools::Native::Sys;

// Counts the futex calls of the lock, passing them on to the original. The
// counts start at zero with each counter, so cases may run in any order.
struct FutexCounter {
  static inline std::atomic<int> waits{0}, wakes{0};  // relaxed: read after joins
  static inline long (*original)(int*, int, int) = nullptr;

  static long count(int* word, int op, int value) {
    (op == FUTEX_WAIT_PRIVATE ? waits : wakes).fetch_add(1, std::memory_order_relaxed);
    return original(word, op, value);
  }
  FutexCounter() {
    waits = 0;
    wakes = 0;
    original = Sys::futex;
    Sys::futex = count;
  }
  ~FutexCounter() { Sys::futex = original; }
};

void on_threads(int n, const std::function<void(int)>& body) {
  std::vector<std::thread> workers;
  for (int t = 0; t < n; ++t) workers.emplace_back(body, t);
  for (std::thread& worker : workers) worker.join();
}

// Whether some thread calls the futex wait (through the counter) within ten
// seconds: a waiter needs no particular scheduling to be seen asleep.
bool await_a_sleeper() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FutexCounter::waits.load() == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Levels taken (+) and given back (-), each with the depth and max_depth
// after it: max_depth remembers the nesting until the last level resets
// it, and an unlock with no level held changes nothing.
TEST(native_lock, depth_and_max_depth_follow_the_levels) {
  std::istringstream steps("+1/1 +2/2 -1/2 +2/2 +3/3 -2/3 -1/3 -0/0 +1/1 -0/0 -0/0 +1/1 -0/0");
  RecursiveLock lock;
  for (std::string step; steps >> step;) {
    const unsigned depth = step[0] == '+' ? lock.lock() : (lock.unlock(), lock.depth());
    EXPECT_EQ(step.substr(1), std::to_string(depth) + "/" + std::to_string(lock.max_depth()));
    EXPECT_EQ(lock.depth(), depth) << step;
  }
}

// Once the waiter has gone to sleep, the holder gives back its three levels
// one by one, each after a pause in which a wrongly admitted waiter would
// enter; the waiter gets in only after the last. Needs a FutexCounter.
void waiter_enters_after_last_level() {
  RecursiveLock lock;
  lock.lock();
  lock.lock();
  lock.lock();
  std::atomic<bool> entered{false};
  unsigned waiter_depth = 0, waiter_max_depth = 0;
  std::thread waiter([&] {
    waiter_depth = lock.lock();
    waiter_max_depth = lock.max_depth();
    entered = true;
    lock.unlock();
  });
  EXPECT_TRUE(await_a_sleeper()) << "the waiter should sleep while the lock is held";
  for (int level = 3; level > 0; --level) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(entered.load()) << "waiter entered with " << level << " levels held";
    lock.unlock();
  }
  waiter.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(waiter_depth, 1u);
  EXPECT_EQ(waiter_max_depth, 1u);
}

TEST(native_lock, waiter_enters_only_after_the_owners_last_unlock) {
  FutexCounter counter;
  waiter_enters_after_last_level();
  EXPECT_GT(FutexCounter::wakes.load(), 0);
}

// A futex wait that returns at once (a signal, say) must not let the waiter
// in while the lock is held.
long interrupted_wait(int* word, int op, int value) {
  if (op != FUTEX_WAIT_PRIVATE) return FutexCounter::count(word, op, value);
  FutexCounter::waits.fetch_add(1, std::memory_order_relaxed);
  errno = EINTR;
  return -1;
}

TEST(native_lock, interrupted_sleep_does_not_take_a_held_lock) {
  FutexCounter counter;
  Sys::futex = interrupted_wait;
  waiter_enters_after_last_level();
}

// Each thread adds twice per round, the second time one level deeper; a
// plain counter shows any overlap (and ThreadSanitizer reports it as a
// race). Some sections outlast the spinning, so threads sleep and are woken
// again and again; a lost wake-up hangs the test. Once all have left, the
// lock, uncontended, costs no system call at any level.
TEST(native_lock, excludes_other_threads_and_wakes_every_sleeper) {
  constexpr int threads = 4;
  constexpr int rounds = 20000;
  FutexCounter counter;
  RecursiveLock lock;
  long added = 0;
  std::atomic<int> wrong_depths{0};
  on_threads(threads, [&](int t) {
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

// ZelTools::Native: the thin layer over the operating system's thread-local
// storage and locks that the trace core uses.
//
// Tls owns one pthread key: its constructor creates the key (CannotCreateTls
// when the system refuses), its destructor deletes it. Values stored in the
// key are not owned; nothing is destroyed when a thread ends.
//
// Mutex is a plain, non-recursive lock. RecursiveLock is the message lock of
// a destination, owned by its Logos and taken by each writing Logger for the
// whole record: a thread that owns it may lock it again, any other thread
// waits until the owner has released every level. It is built on one atomic
// word and the futex system call (see the class comment).
//
// The system calls go through the replaceable function pointers of `Sys`, so
// that a test can make them fail or count them.
#ifndef VANTREL_ZELTOOLS_NATIVE_NATIVE_H
#define VANTREL_ZELTOOLS_NATIVE_NATIVE_H

#include <pthread.h>

#include <atomic>
#include <cassert>
#include <mutex>
#include <ostream>
#include <stdexcept>

#include <ZelTools/Portable.h>

#include "zeltools/native/LockAnnotations.h"

namespace ZelTools {
namespace Native {

// The thread-local key could not be created. Text: "cannot create tls".
// Exported (as their base is) because they reach host code.
struct VANTREL_API CannotCreateTls : ZelTools::Exception {
  std::ostream& print(std::ostream& out) const override;
};

// A thread-local value could not be stored. Text: "cannot set tls".
struct VANTREL_API CannotSetTls : ZelTools::Exception {
  std::ostream& print(std::ostream& out) const override;
};

// Seam around the pthread key and futex calls. Tests replace a pointer to
// simulate a failure (or to count calls) and put the original back
// afterwards, while no other thread runs; nothing else writes them.
struct Sys {
  static int (*key_create)(pthread_key_t*, void (*)(void*));
  static int (*key_delete)(pthread_key_t);
  static int (*setspecific)(pthread_key_t, const void*);
  // futex(2) on `word` with `op` (FUTEX_WAIT_PRIVATE or FUTEX_WAKE_PRIVATE)
  // and `value`, no timeout; returns what the system call returns.
  static long (*futex)(int* word, int op, int value);
};

// One thread-local slot holding a pointer per thread (null until set).
class Tls {
 public:
  Tls();  // throws CannotCreateTls
  ~Tls();
  Tls(const Tls&) = delete;
  Tls& operator=(const Tls&) = delete;

  void* get() const;
  // Stores `value` for the calling thread and returns the value it replaces.
  void* set(void* value);  // throws CannotSetTls

 private:
  pthread_key_t key_;  // created once, read-only afterwards
};

// A plain, non-recursive lock.
class Mutex {
 public:
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Recursive lock with the nesting counters of the message path.
//
//   depth      how many levels the owning thread holds right now
//   max_depth  the largest depth since depth was last 0
//
// The lock itself is `state_`, the three-state futex word: 0 free, 1 locked,
// 2 locked and some thread may be asleep on the word. Taking it from free is
// one compare-exchange (acquire); giving it back is one exchange (release),
// followed by a futex wake only when the old state was 2. A thread that finds
// the lock taken spins for a few microseconds (a record's usual length) and
// then sleeps on the futex after setting the state to 2.
//
// Memory orders: the acquire of every successful take of `state_` pairs with
// the release of the exchange that freed it, so everything the previous owner
// wrote under the lock (the counters, the log file, the rank) is visible to
// the next one. `owner_` is written only by the owner while it holds the lock
// (its own id after taking, 0 before giving back) and read relaxed by any
// thread in `lock()`: a thread reads its own id there exactly when it holds
// the lock, because no other thread ever stores that id and its own last
// store is always visible to itself. `depth_` and `max_depth_` are plain:
// changed and read only by the owner, under the lock.
//
// Nothing here allocates or throws. A level must be given back by the thread
// that took it.
class VANTREL_CAPABILITY("mutex") RecursiveLock {
 public:
  // ThreadSanitizer is told about the outermost level only: the nested ones
  // never touch the lock word, so to it this is a plain exclusive lock.
  RecursiveLock() noexcept { VANTREL_TSAN_MUTEX_CREATE(this, 0); }
  ~RecursiveLock() { VANTREL_TSAN_MUTEX_DESTROY(this, 0); }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  // Takes one level; returns the depth reached.
  unsigned lock() noexcept VANTREL_ACQUIRE() {
    const unsigned long me = self();
    if (owner_.load(std::memory_order_relaxed) != me) take(me);
    if (++depth_ > max_depth_) max_depth_ = depth_;
    return depth_;
  }

  // Takes one level when that needs no wait (the fork handlers, the crash
  // handler); false when another thread holds the lock. ThreadSanitizer is
  // told of the attempt, so that the unlock that follows a success matches.
  bool try_lock() noexcept VANTREL_TRY_ACQUIRE(true) {
    const unsigned long me = self();
    if (owner_.load(std::memory_order_relaxed) != me) {
      VANTREL_TSAN_MUTEX_PRE_LOCK(this, VANTREL_TSAN_TRY_LOCK);
      int expected = free_state;
      if (!state_.compare_exchange_strong(expected, locked_state, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
        VANTREL_TSAN_MUTEX_POST_LOCK(this, VANTREL_TSAN_TRY_LOCK_FAILED, 0);
        return false;
      }
      VANTREL_TSAN_MUTEX_POST_LOCK(this, VANTREL_TSAN_TRY_LOCK, 0);
      owner_.store(me, std::memory_order_relaxed);
    }
    if (++depth_ > max_depth_) max_depth_ = depth_;
    return true;
  }

  // For the fork handlers only: try_lock and unlock without telling
  // ThreadSanitizer, which does not follow a lock taken before fork() and
  // given back after it (it would see the child's later locks as taken
  // under locks it believes still held).
  bool try_lock_across_fork() noexcept VANTREL_TRY_ACQUIRE(true) {
    const unsigned long me = self();
    if (owner_.load(std::memory_order_relaxed) != me) {
      if (!try_take_free()) return false;
      owner_.store(me, std::memory_order_relaxed);
    }
    if (++depth_ > max_depth_) max_depth_ = depth_;
    return true;
  }
  void unlock_across_fork() noexcept VANTREL_RELEASE() {
    if (depth_ == 0 || --depth_ != 0) return;
    max_depth_ = 0;
    owner_.store(0, std::memory_order_relaxed);
    if (state_.exchange(free_state, std::memory_order_release) == waiters_state) wake_one();
  }

  // Gives back one level; max_depth returns to 0 with depth. An unlock with
  // no level held does nothing.
  void unlock() noexcept VANTREL_RELEASE() {
    if (depth_ == 0 || --depth_ != 0) return;
    max_depth_ = 0;
    owner_.store(0, std::memory_order_relaxed);
    VANTREL_TSAN_MUTEX_PRE_UNLOCK(this, 0);
    if (state_.exchange(free_state, std::memory_order_release) == waiters_state) wake_one();
    VANTREL_TSAN_MUTEX_POST_UNLOCK(this, 0);
  }

  // Tells the thread-safety analysis that the calling thread holds the lock,
  // where a level was taken in another function (a Logger holds it from the
  // record's opening to its end). Debug builds check that it does.
  void assert_held() const noexcept VANTREL_ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == self());
  }

  unsigned depth() const { return depth_; }
  unsigned max_depth() const { return max_depth_; }

  // True when the calling thread holds at least one level. Reads only
  // `owner_` (relaxed): see the memory orders above.
  bool held_by_caller() const noexcept { return owner_.load(std::memory_order_relaxed) == self(); }

 private:
  static constexpr int free_state = 0;
  static constexpr int locked_state = 1;
  static constexpr int waiters_state = 2;

  // The calling thread's id, never 0 for a running thread.
  static unsigned long self() noexcept { return static_cast<unsigned long>(::pthread_self()); }

  // Takes the lock word from another thread's hands (or from free).
  void take(unsigned long me) noexcept {
    VANTREL_TSAN_MUTEX_PRE_LOCK(this, 0);
    int expected = free_state;
    if (!state_.compare_exchange_strong(expected, locked_state, std::memory_order_acquire,
                                        std::memory_order_relaxed)) {
      wait_for_release();
    }
    VANTREL_TSAN_MUTEX_POST_LOCK(this, 0, 0);
    owner_.store(me, std::memory_order_relaxed);
  }

  void wait_for_release() noexcept;
  bool spin_for_release() noexcept;
  bool try_take_free() noexcept;
  void wake_one() noexcept;
  int* futex_word() noexcept;

  std::atomic<int> state_{free_state};   // the lock: acquire to take, release to free
  std::atomic<unsigned long> owner_{0};  // written by the owner only; 0 = none
  unsigned depth_ = 0;                   // owner only (under the lock itself)
  unsigned max_depth_ = 0;               // owner only (under the lock itself)
};

// Takes one level of a RecursiveLock for the life of the object.
class VANTREL_SCOPED_CAPABILITY RecursiveGuard {
 public:
  explicit RecursiveGuard(RecursiveLock& lock) VANTREL_ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~RecursiveGuard() VANTREL_RELEASE() { lock_.unlock(); }
  RecursiveGuard(const RecursiveGuard&) = delete;
  RecursiveGuard& operator=(const RecursiveGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

}  // namespace Native
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_NATIVE_NATIVE_H

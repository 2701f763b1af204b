// ZelTools::Native: the thin layer over the operating system's thread-local
// storage and locks that the trace core uses.
//
// Tls owns one pthread key: its constructor creates the key (CannotCreateTls
// when the system refuses), its destructor deletes it. Values stored in the
// key are not owned; nothing is destroyed when a thread ends.
//
// Mutex is a plain, non-recursive lock. RecursiveLock is the message lock of
// a destination: a thread that owns it may lock it again, any other thread
// waits until the owner has released every level. `guard` protects the level
// count and the owner; waiters sleep on `released` until the count is 0.
//
// The system calls go through the replaceable function pointers of `Sys`, so
// that a test can make them fail.
#ifndef VANTREL_SRC_NATIVE_H
#define VANTREL_SRC_NATIVE_H

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <stdexcept>

#include <ZelTools/Portable.h>

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

// Seam around the pthread key calls. Tests replace a pointer to simulate a
// failure and put the original back afterwards; nothing else writes them.
struct Sys {
  static int (*key_create)(pthread_key_t*, void (*)(void*));
  static int (*key_delete)(pthread_key_t);
  static int (*setspecific)(pthread_key_t, const void*);
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

// A plain lock (the design's critical section).
class Mutex {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Recursive lock with the nesting counters of the message path.
//
//   depth      how many levels the owning thread holds right now
//   max_depth  the largest depth since depth was last 0
//
// Both counters are changed only by the owner while it holds the lock, and
// read only by the owner (or by anyone once every thread has let go).
class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  // Takes one level; returns the depth reached.
  unsigned lock();
  // Gives back one level; max_depth returns to 0 with depth.
  void unlock();

  unsigned depth() const { return depth_; }
  unsigned max_depth() const { return max_depth_; }

 private:
  void enter_level();
  void leave_level();

  std::mutex guard_;                  // protects count_ and owner_
  std::condition_variable released_;  // signalled when count_ drops to 0
  unsigned count_ = 0;                // guarded by guard_
  unsigned long owner_ = 0;           // guarded by guard_; kernel thread id, 0 = none
  unsigned depth_ = 0;                // owner only (under the lock itself)
  unsigned max_depth_ = 0;            // owner only (under the lock itself)
};

// Takes one level of a RecursiveLock for the life of the object.
class RecursiveGuard {
 public:
  explicit RecursiveGuard(RecursiveLock& lock) : lock_(lock) { lock_.lock(); }
  ~RecursiveGuard() { lock_.unlock(); }
  RecursiveGuard(const RecursiveGuard&) = delete;
  RecursiveGuard& operator=(const RecursiveGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

}  // namespace Native
}  // namespace ZelTools

#endif  // VANTREL_SRC_NATIVE_H

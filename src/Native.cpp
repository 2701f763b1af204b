#include "Native.h"

#include "ThreadId.h"

namespace ZelTools {
namespace Native {

std::ostream& CannotCreateTls::print(std::ostream& out) const { return out << "cannot create tls"; }

std::ostream& CannotSetTls::print(std::ostream& out) const { return out << "cannot set tls"; }

int (*Sys::key_create)(pthread_key_t*, void (*)(void*)) = ::pthread_key_create;
int (*Sys::key_delete)(pthread_key_t) = ::pthread_key_delete;
int (*Sys::setspecific)(pthread_key_t, const void*) = ::pthread_setspecific;

Tls::Tls() {
  // No destructor function: a thread's value is not owned by the slot.
  if (Sys::key_create(&key_, nullptr) != 0) throw CannotCreateTls();
}

Tls::~Tls() { Sys::key_delete(key_); }

void* Tls::get() const { return ::pthread_getspecific(key_); }

void* Tls::set(void* value) {
  void* previous = ::pthread_getspecific(key_);
  if (Sys::setspecific(key_, value) != 0) throw CannotSetTls();
  return previous;
}

unsigned RecursiveLock::lock() {
  enter_level();
  // From here on this thread owns the lock: the counters are ours.
  ++depth_;
  if (depth_ > max_depth_) max_depth_ = depth_;
  return depth_;
}

void RecursiveLock::unlock() {
  if (--depth_ == 0) max_depth_ = 0;
  leave_level();
}

// A waiter sleeps on `released` until the owner has given back its last
// level, then takes the lock as a new owner.
void RecursiveLock::enter_level() {
  const unsigned long me = Vantrel::Native::current_thread_id();
  std::unique_lock<std::mutex> lock(guard_);
  if (count_ != 0 && owner_ == me) {
    ++count_;
    return;
  }
  released_.wait(lock, [this] { return count_ == 0; });
  count_ = 1;
  owner_ = me;
}

void RecursiveLock::leave_level() {
  {
    std::lock_guard<std::mutex> lock(guard_);
    if (--count_ != 0) return;
    owner_ = 0;
  }
  released_.notify_one();
}

}  // namespace Native
}  // namespace ZelTools

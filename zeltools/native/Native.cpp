#include "zeltools/native/Native.h"

#include "zeltools/native/ThreadId.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace ZelTools {
namespace Native {

std::ostream& CannotCreateTls::print(std::ostream& out) const { return out << "cannot create tls"; }

std::ostream& CannotSetTls::print(std::ostream& out) const { return out << "cannot set tls"; }

int (*Sys::key_create)(pthread_key_t*, void (*)(void*)) = ::pthread_key_create;
int (*Sys::key_delete)(pthread_key_t) = ::pthread_key_delete;
int (*Sys::setspecific)(pthread_key_t, const void*) = ::pthread_setspecific;

namespace {

long futex_call(int* word, int op, int value) {
  return ::syscall(SYS_futex, word, op, value, nullptr, nullptr, 0);
}

// How long a thread that finds the message lock taken keeps trying before it
// sleeps: a little longer than a record with one write(2) usually holds it,
// so that a hand-over between two busy threads costs no system call.
constexpr std::chrono::microseconds spin_budget{10};

// The clock is read once per round of pauses, not at every pause.
constexpr unsigned pauses_per_round = 16;

// Tells the processor that this is a spin-wait: it yields the pipeline to
// the other hardware thread and saves power.
inline void cpu_pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
  asm volatile("yield" ::: "memory");
#endif
}

}  // namespace

long (*Sys::futex)(int*, int, int) = futex_call;

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

// The futex system call works on the int inside the atomic.
static_assert(sizeof(std::atomic<int>) == sizeof(int), "futex word must be a plain int");
static_assert(std::atomic<int>::is_always_lock_free, "futex word must be lock-free");

int* RecursiveLock::futex_word() noexcept { return reinterpret_cast<int*>(&state_); }

// Called when the first attempt found the lock taken. Spins first; then
// sleeps. Each sleeper sets the state to 2 before it sleeps and also takes
// the lock in state 2 when it wakes, because other sleepers may remain: the
// owner's unlock then wakes the next one. A 0 seen by the exchange means the
// lock was free and is now ours. The kernel returns at once (EAGAIN) when the
// word is no longer 2, and a signal or spurious wake-up just loops.
void RecursiveLock::wait_for_release() noexcept {
  if (spin_for_release()) return;
  while (state_.exchange(waiters_state, std::memory_order_acquire) != free_state) {
    Sys::futex(futex_word(), FUTEX_WAIT_PRIVATE, waiters_state);
  }
}

// Tries to take the lock while it is held for a short time; false when the
// budget ran out first.
bool RecursiveLock::spin_for_release() noexcept {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + spin_budget;
  do {
    for (unsigned i = 0; i < pauses_per_round; ++i) {
      if (try_take_free()) return true;
      cpu_pause();
    }
  } while (Clock::now() < deadline);
  return false;
}

// Reads before it writes, so that spinners do not fight over the cache line
// while the owner holds it. Taking 0 -> 1 is right even when sleepers exist:
// the one that the last unlock woke sets the state back to 2.
bool RecursiveLock::try_take_free() noexcept {
  int state = state_.load(std::memory_order_relaxed);
  return state == free_state &&
         state_.compare_exchange_weak(state, locked_state, std::memory_order_acquire,
                                      std::memory_order_relaxed);
}

void RecursiveLock::wake_one() noexcept { Sys::futex(futex_word(), FUTEX_WAKE_PRIVATE, 1); }

namespace {

// Counts the forks this process descends from (note_fork). Relaxed: a child
// bumps it while it has a single thread, before any other thread exists.
std::atomic<unsigned> fork_generation{0};

}  // namespace

void note_fork() noexcept { fork_generation.fetch_add(1, std::memory_order_relaxed); }

unsigned long current_thread_id() {
  // The id never changes for the life of a thread, except for the thread
  // that forked, in the child: the syscall is made once per thread and fork.
  // Initial-exec, as the record's texts (LogFileLog.cpp).
  struct Cached {
    unsigned long id = 0;
    unsigned generation = 0;
  };
  static thread_local Cached cached __attribute__((tls_model("initial-exec")));
  const unsigned generation = fork_generation.load(std::memory_order_relaxed);
  if (cached.id == 0 || cached.generation != generation) {
    cached.id = static_cast<unsigned long>(::syscall(SYS_gettid));
    cached.generation = generation;
  }
  return cached.id;
}

}  // namespace Native
}  // namespace ZelTools

#include "ForkHandlers.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "DeferredUnlink.h"
#include "Diagnostic.h"
#include "Logos.h"
#include "QuickVerdict.h"
#include "zeltools/native/ThreadId.h"
#include "zeltools/portable/ProcessFacts.h"

namespace Vantrel {
namespace ForkHandlers {
namespace {

// One lock of the set held across fork(), whatever its class.
struct HeldLock {
  void* lock;
  void (*take)(void*);
  bool (*try_take)(void*);
  void (*give_back)(void*);
};

// The analysis cannot follow a lock taken in one handler and given back in
// another (before and after fork()); the handlers pair them by hand.
template <class L>
HeldLock held(L& lock) {
  return {&lock, [](void* l) VANTREL_NO_THREAD_SAFETY_ANALYSIS { static_cast<L*>(l)->lock(); },
          [](void* l) VANTREL_NO_THREAD_SAFETY_ANALYSIS { return static_cast<L*>(l)->try_lock(); },
          [](void* l) VANTREL_NO_THREAD_SAFETY_ANALYSIS { static_cast<L*>(l)->unlock(); }};
}

// A message lock is taken and given back out of ThreadSanitizer's sight
// (see RecursiveLock::try_lock_across_fork); waiting is a polite spin.
HeldLock held(ZelTools::Native::RecursiveLock& lock) {
  using Lock = ZelTools::Native::RecursiveLock;
  return {&lock,
          [](void* l) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
            while (!static_cast<Lock*>(l)->try_lock_across_fork()) sched_yield();
          },
          [](void* l) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
            return static_cast<Lock*>(l)->try_lock_across_fork();
          },
          [](void* l)
              VANTREL_NO_THREAD_SAFETY_ANALYSIS { static_cast<Lock*>(l)->unlock_across_fork(); }};
}

// The destinations. Guarded by registry_mutex, which the forking thread
// holds from before fork() until after it (in the parent and the child).
std::mutex registry_mutex;
std::vector<Logos*>& registry() {
  static auto* logos = new std::vector<Logos*>;  // never destroyed: late destructors use it
  return *logos;
}

// The locks taken by before_fork, in the order taken. Guarded by
// registry_mutex.
std::vector<HeldLock>& taken() {
  static auto* locks = new std::vector<HeldLock>;
  return *locks;
}

// The parent's log file objects that a child let go of: kept, reachable and
// never destroyed. Guarded by registry_mutex.
std::vector<LogFile*>& parents_log_files() {
  static auto* files = new std::vector<LogFile*>;
  return *files;
}

// Written only in a child while it runs one thread; read relaxed by the
// per-thread caches, which only compare it.
std::atomic<unsigned> fork_generation{0};

// The locks of one destination. A message lock that the forking thread
// holds itself (a fork inside a record) is left as it is.
void add_locks_of(Logos& logos, std::vector<HeldLock>& locks) {
  locks.push_back(held(logos.filter_lock));
  if (!logos.message_lock.held_by_caller()) locks.push_back(held(logos.message_lock));
  locks.push_back(held(logos.config.fork_mutex()));
}

// Takes every lock without an order among them, as std::lock does: waits
// for one, tries the others, and on a refusal gives all back and waits for
// the one refused first. A thread holding a message lock may wait for
// another destination's; this never waits while holding any.
void take_all(std::vector<HeldLock>& locks) {
  std::size_t first = 0;
  while (!locks.empty()) {
    locks[first].take(locks[first].lock);
    std::size_t refused = locks.size();
    for (std::size_t i = 0; i < locks.size() && refused == locks.size(); ++i) {
      if (i != first && !locks[i].try_take(locks[i].lock)) refused = i;
    }
    if (refused == locks.size()) return;
    for (std::size_t i = 0; i < refused; ++i) {
      if (i != first) locks[i].give_back(locks[i].lock);
    }
    locks[first].give_back(locks[first].lock);
    first = refused;
    sched_yield();
  }
}

void give_all_back(std::vector<HeldLock>& locks) {
  for (auto lock = locks.rbegin(); lock != locks.rend(); ++lock) lock->give_back(lock->lock);
  locks.clear();
}

void before_fork() {
  registry_mutex.lock();
  std::vector<HeldLock>& locks = taken();
  locks.clear();
  for (Logos* logos : registry()) add_locks_of(*logos, locks);
  take_all(locks);
  Diagnostic::before_fork();
  LogFileSteps::lock_for_fork();
}

void after_fork_in_parent() {
  LogFileSteps::unlock_after_fork(false);
  Diagnostic::after_fork();
  give_all_back(taken());
  registry_mutex.unlock();
}

// The parent's log file object is let go of, not destroyed: destroying it
// would flush its buffer into the parent's file and close (or, for an XML
// file, end) it.
// Runs while the fork handler holds every destination's locks.
void start_afresh(Logos& logos) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
  std::unique_ptr<LogFile> fresh = logos.info.factory().create(logos.info);
  parents_log_files().push_back(logos.log_file.get());
  static_cast<void>(logos.log_file.release());
  logos.log_file = std::move(fresh);
  logos.rank = 0;
}

void after_fork_in_child() {
  fork_generation.fetch_add(1, std::memory_order_relaxed);
  ZelTools::Native::note_fork();
  ZelTools::Portable::Facts::refresh_process_id();
  for (Logos* logos : registry()) {
    try {
      start_afresh(*logos);
    } catch (...) {
      // Out of memory for the fresh log file: the destination keeps the
      // one it had.
    }
  }
  LogFileSteps::unlock_after_fork(true);
  QuickVerdict::reset_after_fork();
  Diagnostic::after_fork();
  Diagnostic::forget_all();
  give_all_back(taken());
  registry_mutex.unlock();
}

}  // namespace

void add(Logos* logos) {
  static const int installed =
      pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
  static_cast<void>(installed);
  std::lock_guard<std::mutex> lock(registry_mutex);
  registry().push_back(logos);
}

void remove(Logos* logos) noexcept {
  std::lock_guard<std::mutex> lock(registry_mutex);
  std::vector<Logos*>& list = registry();
  list.erase(std::remove(list.begin(), list.end(), logos), list.end());
}

unsigned generation() noexcept { return fork_generation.load(std::memory_order_relaxed); }

}  // namespace ForkHandlers
}  // namespace Vantrel

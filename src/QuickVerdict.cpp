#include "QuickVerdict.h"

#include <Vantrel.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "DebugTrace.h"
#include "Logos.h"

namespace Vantrel {

// Until a destination exists, nothing is decided inline.
std::atomic<std::int32_t> Printf::quick_floor_{INT32_MIN};

namespace {

// Guards the registry and every store of Printf::quick_floor_. Both are
// constant-initialised or made once and never destroyed, so that a
// destination dropped during the process's exit still finds them.
std::mutex registry_mutex;
std::vector<const Logos*>* registry = nullptr;  // guarded by registry_mutex

// Caller holds registry_mutex.
std::int32_t lowest_floor() {
  if (registry == nullptr || registry->empty() || Debug::echo_on()) return INT32_MIN;
  std::int32_t floor = INT32_MAX;
  for (const Logos* logos : *registry) floor = std::min(floor, logos->quick_floor());
  return floor;
}

}  // namespace

// The floor is one word, stored relaxed: a message on another thread may
// still see the previous one, as it would had it run just before the change.
void QuickVerdict::publish() {
  Printf::quick_floor_.store(lowest_floor(), std::memory_order_relaxed);
}

void QuickVerdict::join(const Logos& logos) {
  std::lock_guard<std::mutex> lock(registry_mutex);
  if (registry == nullptr) registry = new std::vector<const Logos*>;
  registry->push_back(&logos);
  publish();
}

void QuickVerdict::leave(const Logos& logos) {
  std::lock_guard<std::mutex> lock(registry_mutex);
  if (registry == nullptr) return;
  registry->erase(std::remove(registry->begin(), registry->end(), &logos), registry->end());
  publish();
}

void QuickVerdict::reset_after_fork() { new (&registry_mutex) std::mutex(); }

void QuickVerdict::refresh() {
  std::lock_guard<std::mutex> lock(registry_mutex);
  publish();
}

}  // namespace Vantrel

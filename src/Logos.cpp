#include "Logos.h"

#include <climits>
#include <cstdint>
#include <mutex>
#include <utility>

#include "DebugTrace.h"
#include "ForkHandlers.h"
#include "QuickVerdict.h"

namespace Vantrel {

Logos::Logos(const std::string& name, const std::string& logext, const std::string& logdir,
             const std::string& configfile, bool pullable, SimpleTime::Duration period)
    : info(name, logext, logdir, configfile),
      log_file(info.factory().create(info)),
      config(info, pullable, period) {
  ForkHandlers::add(this);
  QuickVerdict::join(*this);
}

// Off the fork handlers' list and out of the quick verdict first; then the
// settings go, the log file (closing it), the locks, the host's rule and the
// names, as the members' reverse order gives.
Logos::~Logos() {
  QuickVerdict::leave(*this);
  ForkHandlers::remove(this);
}

bool Logos::is_active(const Importance& importance, Logger::Tag tag, const Config& settings,
                      Context::Data* data) {
  if (tag == Logger::Close) return true;
  if (has_custom_is_active.load(std::memory_order_acquire)) {
    std::lock_guard<std::recursive_mutex> lock(filter_lock);
    if (custom_is_active) return (*custom_is_active)(importance, tag, settings, data);
  }
  return default_is_active(importance, tag, settings, data);
}

// The default rule (Admin::IsActive) applied to the settings' digest.
bool Logos::surely_inactive(const Importance& importance, Logger::Tag tag) const {
  if (tag == Logger::Close || importance.severity >= 3) return false;
  if (has_custom_is_active.load(std::memory_order_acquire)) return false;
  std::uint32_t summary = 0;
  if (!config.quick(summary)) return false;
  return importance.level < ThresholdSummary::threshold(summary);
}

std::int32_t Logos::quick_floor() const {
  if (has_custom_is_active.load(std::memory_order_acquire)) return INT32_MIN;
  std::uint32_t summary = 0;
  if (!config.settled(summary)) return INT32_MIN;
  return ThresholdSummary::threshold(summary);
}

void Logos::set_custom_is_active(std::unique_ptr<const Admin::IsActive> rule) {
  {
    std::lock_guard<std::recursive_mutex> lock(filter_lock);
    custom_is_active.swap(rule);
    has_custom_is_active.store(custom_is_active != nullptr, std::memory_order_release);
  }
  QuickVerdict::refresh();
  // `rule` now holds the previous one, destroyed here outside the lock.
}

void Logos::renew_log_file() {
  log_file.reset();
  log_file = info.factory().create(info);
}

}  // namespace Vantrel

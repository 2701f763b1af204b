// ConfigHolder: a TEMPORARY holder of a destination's settings, to be replaced
// by the lock-free settings publication (with periodic re-reading of the
// configuration file).
//
// Owned by its Logos, created and destroyed with it. Every read and every
// edit takes `mutex_`; no configuration file is read yet, so the record is
// the default one until the administration interface changes it.
#ifndef VANTREL_SRC_CONFIGHOLDER_H
#define VANTREL_SRC_CONFIGHOLDER_H

#include <Vantrel.h>

#include <mutex>

namespace Vantrel {

class ConfigHolder {
 public:
  ConfigHolder() = default;
  ConfigHolder(const ConfigHolder&) = delete;
  ConfigHolder& operator=(const ConfigHolder&) = delete;

  // A copy of the settings in force.
  Config pull() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }

  // Applies `change(Config&)` to the record under the lock.
  template <typename Change>
  void edit(Change change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(value_);
  }

 private:
  mutable std::mutex mutex_;  // guards value_
  Config value_;              // guarded by mutex_
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIGHOLDER_H

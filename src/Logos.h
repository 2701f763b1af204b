// Logos: one destination of trace messages, with its names, its log file,
// its settings, its activity rule, its rank counter and its locks.
//
// The library creates the default destination at start and deletes it at
// stop; a Context::Device creates and deletes its own. A destination must
// outlive every logger writing through it.
//
// Locks:
//   message_lock  recursive; held by a writing Logger for the whole record
//                 (one level per logger of the owning thread). Guards rank,
//                 log_file and info.
//   filter_lock   guards custom_is_active; the host's rule is called under it.
//   the settings' mutex (inside `config`), taken by editors and re-reads.
// The administration operations that change files take message_lock first
// and the settings' lock second.
#ifndef VANTREL_SRC_LOGOS_H
#define VANTREL_SRC_LOGOS_H

#include <SimpleTime.h>
#include <Vantrel.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "EditableConfig.h"
#include "LogFile.h"
#include "LogosInfo.h"
#include "zeltools/native/Native.h"

namespace Vantrel {

class Logos {
 public:
  // Empty texts take their values from the environment (see LogosInfo).
  // `pullable` and `period` govern re-reading the configuration file.
  Logos(const std::string& name, const std::string& logext, const std::string& logdir,
        const std::string& configfile, bool pullable, SimpleTime::Duration period);
  ~Logos();
  Logos(const Logos&) = delete;
  Logos& operator=(const Logos&) = delete;

  // The settings in force for a new message.
  void pull_config(Config& settings) { config.pull_value(settings); }

  // True when the message can be dropped without pulling the settings: the
  // default rule is in force, no re-read is due, and the published record's
  // threshold rejects it. False decides nothing: the caller then pulls the
  // whole record and asks is_active.
  bool surely_inactive(const Importance& importance, Logger::Tag tag) const;
  // The lowest level this destination may write below severity 3, from its
  // published settings alone; the lowest level of all when a host rule or
  // a possible re-read leaves that open. Read by QuickVerdict.
  std::int32_t quick_floor() const;

  // The activity rule: the host's when installed (called under
  // filter_lock), else the default one. Close messages always pass.
  bool is_active(const Importance& importance, Logger::Tag tag, const Config& settings,
                 Context::Data* data);

  // Installs the host's rule (null restores the default); the old rule is
  // destroyed after filter_lock is released.
  void set_custom_is_active(std::unique_ptr<const Admin::IsActive> rule);

  // Replaces the log file by a fresh one from info's (possibly new) factory.
  // Caller holds message_lock.
  void renew_log_file() VANTREL_REQUIRES(message_lock);

  std::uint32_t rank VANTREL_GUARDED_BY(message_lock) = 0;  // the last rank given
  LogosInfo info VANTREL_GUARDED_BY(message_lock);
  const Admin::IsActive default_is_active;
  // Recursive, so that a host rule may itself write a message (which asks
  // the rule again on the same thread) without deadlocking.
  std::recursive_mutex filter_lock;
  std::unique_ptr<const Admin::IsActive> custom_is_active;  // guarded by filter_lock
  // Whether custom_is_active is set: written under filter_lock (release),
  // read without it (acquire), so that messages under the default rule never
  // take filter_lock. A message racing with an install sees either rule.
  std::atomic<bool> has_custom_is_active{false};
  ZelTools::Native::RecursiveLock message_lock;
  std::unique_ptr<LogFile> log_file VANTREL_GUARDED_BY(message_lock);
  EditableConfig config;  // has its own lock
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGOS_H

// Vantrel::Admin: run-time administration of the calling thread's
// destination.
//
// Settings edits take the settings' mutex as an editor (Pullable::edit).
// The names are read under the destination's message lock, which guards
// them; the operations that change them (and config(text), which reads
// them) take the message lock first and the settings' mutex second.
#include <Vantrel.h>

#include <sstream>
#include <utility>

#include "ContextInternal.h"
#include "ErrnoKeeper.h"
#include "Logos.h"

namespace Vantrel {
namespace {

using State = EditableConfig::State;

// The calling thread's destination, or null while the library is stopped.
Logos* current_logos() { return Context::get_logos(Context::get_data()); }

template <typename Change>
void edit(Change change) {
  if (Logos* logos = current_logos()) logos->config.edit(change);
}

State pulled() {
  Logos* logos = current_logos();
  if (logos == nullptr) return State{Config(), false, SimpleTime::Duration(), {}};
  return logos->config.pull();
}

// Runs `work()` under the destination's message lock. A thread that already
// holds it (a getter inside a stream expression of its own record) runs it
// as it is: taking a second level would count as a nested message and mark
// the record as having lost one.
template <typename Work>
auto under_message_lock(Logos& logos, Work work) {
  if (logos.message_lock.held_by_caller()) return work();
  ZelTools::Native::RecursiveGuard lock(logos.message_lock);
  return work();
}

template <typename Getter>
std::string read_name(Getter getter) {
  Logos* logos = current_logos();
  if (logos == nullptr) return std::string();
  return under_message_lock(*logos, [&] {
    logos->message_lock.assert_held();
    return getter(logos->info);
  });
}

// Applies `apply(LogosInfo&)`, replaces the log file and refreshes the
// settings' copy of the names; `pull_again` switches re-reading back on.
template <typename Apply>
void change_names(Apply apply, bool pull_again) {
  Logos* logos = current_logos();
  // This thread is writing a record on this destination: its log file
  // must not go away under it.
  if (logos == nullptr || logos->message_lock.held_by_caller()) return;
  ZelTools::Native::RecursiveGuard lock(logos->message_lock);
  apply(logos->info);
  logos->renew_log_file();
  EditableConfig& config = logos->config;
  config.edit([&config, pull_again](State& state) {
    config.refresh();
    if (pull_again) config.set_pulling(state, true);
  });
}

}  // namespace

Config Admin::config() {
  const ErrnoKeeper keep_errno;
  return pulled().value;
}

void Admin::config(const Config& value) {
  const ErrnoKeeper keep_errno;
  edit([&value](State& state) { state.value = value; });
}

bool Admin::config(const std::string& text) {
  const ErrnoKeeper keep_errno;
  Logos* logos = current_logos();
  if (logos == nullptr) return false;
  return under_message_lock(*logos, [&] {
    logos->message_lock.assert_held();
    // Copied under the message lock, which guards the names.
    const std::string name = logos->info.name();
    const std::string logdir = logos->info.logdir();
    const std::string configfile = logos->info.configfile();
    bool parsed = false;
    logos->config.edit([&](State& state) {
      std::istringstream in(text);
      try {
        parsed = state.value.parse(in, name, logdir, configfile);
      } catch (...) {
        parsed = false;
      }
    });
    return parsed;
  });
}

void Admin::active(bool value) {
  const ErrnoKeeper keep_errno;
  edit([value](State& state) { state.value.active = value; });
}

void Admin::importance(const Importance& value) {
  const ErrnoKeeper keep_errno;
  edit([&value](State& state) { state.value.importance = value; });
}

void Admin::size(unsigned int value) {
  const ErrnoKeeper keep_errno;
  edit([value](State& state) { state.value.size = value; });
}

void Admin::keep(bool value) {
  const ErrnoKeeper keep_errno;
  edit([value](State& state) { state.value.keep = value; });
}

bool Admin::pullable() {
  const ErrnoKeeper keep_errno;
  return pulled().pullable;
}

void Admin::pullable(bool value) {
  const ErrnoKeeper keep_errno;
  Logos* logos = current_logos();
  if (logos == nullptr) return;
  EditableConfig& config = logos->config;
  config.edit([&config, value](State& state) { config.set_pulling(state, value); });
}

SimpleTime::Duration Admin::period() {
  const ErrnoKeeper keep_errno;
  return pulled().period;
}

void Admin::period(const SimpleTime::Duration& value) {
  const ErrnoKeeper keep_errno;
  Logos* logos = current_logos();
  if (logos == nullptr) return;
  EditableConfig& config = logos->config;
  config.edit([&config, &value](State& state) {
    state.period = value < SimpleTime::Duration() ? SimpleTime::Duration() : value;
    config.set_pulling(state, true);
  });
}

std::string Admin::name() {
  const ErrnoKeeper keep_errno;
  return read_name([](const LogosInfo& info) { return info.name(); });
}

std::string Admin::logext() {
  const ErrnoKeeper keep_errno;
  return read_name([](const LogosInfo& info) { return info.logext(); });
}

std::string Admin::logdir() {
  const ErrnoKeeper keep_errno;
  return read_name([](const LogosInfo& info) { return info.logdir(); });
}

std::string Admin::configfile() {
  const ErrnoKeeper keep_errno;
  return read_name([](const LogosInfo& info) { return info.configfile(); });
}

void Admin::logext(const std::string& value) {
  const ErrnoKeeper keep_errno;
  change_names([&value](LogosInfo& info) { info.set_logext(value); }, false);
}

void Admin::logdir(const std::string& value) {
  const ErrnoKeeper keep_errno;
  change_names([&value](LogosInfo& info) { info.set_logdir(value); }, false);
}

void Admin::configfile(const std::string& value) {
  const ErrnoKeeper keep_errno;
  change_names([&value](LogosInfo& info) { info.set_configfile(value); }, true);
}

void Admin::is_active(std::unique_ptr<const IsActive> rule) {
  const ErrnoKeeper keep_errno;
  if (Logos* logos = current_logos()) logos->set_custom_is_active(std::move(rule));
}

}  // namespace Vantrel

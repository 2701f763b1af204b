// Vantrel::Admin: run-time administration of the calling thread's
// destination. The settings edits go through the destination's settings
// holder (its own lock); the names are read under the message lock, which
// guards them.
#include <Vantrel.h>

#include <utility>

#include "ContextInternal.h"
#include "Logos.h"

namespace Vantrel {
namespace {

// The calling thread's destination, or null while the library is stopped.
Logos* current_logos() { return Context::get_logos(Context::get_data()); }

template <typename Change>
void edit(Change change) {
  if (Logos* logos = current_logos()) logos->config.edit(change);
}

template <typename Getter>
std::string read_name(Getter getter) {
  Logos* logos = current_logos();
  if (logos == nullptr) return std::string();
  ZelTools::Native::RecursiveGuard lock(logos->message_lock);
  return getter(logos->info);
}

}  // namespace

Config Admin::config() {
  Logos* logos = current_logos();
  return logos != nullptr ? logos->pull_config() : Config();
}

void Admin::config(const Config& value) {
  edit([&value](Config& record) { record = value; });
}

void Admin::active(bool value) {
  edit([value](Config& record) { record.active = value; });
}

void Admin::importance(const Importance& value) {
  edit([&value](Config& record) { record.importance = value; });
}

void Admin::size(unsigned int value) {
  edit([value](Config& record) { record.size = value; });
}

void Admin::keep(bool value) {
  edit([value](Config& record) { record.keep = value; });
}

std::string Admin::name() {
  return read_name([](const LogosInfo& info) { return info.name(); });
}

std::string Admin::logext() {
  return read_name([](const LogosInfo& info) { return info.logext(); });
}

std::string Admin::logdir() {
  return read_name([](const LogosInfo& info) { return info.logdir(); });
}

std::string Admin::configfile() {
  return read_name([](const LogosInfo& info) { return info.configfile(); });
}

void Admin::is_active(std::unique_ptr<const IsActive> rule) {
  if (Logos* logos = current_logos()) logos->set_custom_is_active(std::move(rule));
}

}  // namespace Vantrel

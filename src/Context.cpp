// The per-thread context record, its slot and the device binding scopes.
#include "ContextInternal.h"

#include <utility>

namespace Vantrel {
namespace Context {

namespace {
// Temporary slot until the library's thread-local slot is available; only the
// owning thread touches it.
thread_local Data* current_data = nullptr;
}  // namespace

SubFields::SubFields() : elements_(1) {}

SubFields::SubFields(std::initializer_list<std::string> fields) : elements_(1) {
  for (const std::string& field : fields) add(field);
}

SubFields& SubFields::add(const std::string& field) {
  if (has_fields()) text_ += '/';
  text_ += field;
  elements_.push_back(field);
  return *this;
}

StepFields::StepFields(SubFields names_, SubFields ids_)
    : names(std::move(names_)), ids(std::move(ids_)) {}

std::string StepFields::text() const { return names.text() + "#" + ids.text(); }

CallRecord::CallRecord(Call_kind kind_, std::uint32_t minor_depth_,
                       std::unique_ptr<CallTrace> trace_)
    : kind(kind_), minor_depth(minor_depth_), trace(std::move(trace_)) {}
CallRecord::CallRecord(CallRecord&&) noexcept = default;
CallRecord& CallRecord::operator=(CallRecord&&) noexcept = default;
CallRecord::~CallRecord() = default;

Data::Data() : logos_(get_logos(nullptr)) { calls.reserve(2); }

Data::~Data() = default;

Logos* Data::logos() const { return logos_; }

void Data::set_logos(Logos* x) { logos_ = x ? x : get_logos(nullptr); }

Data* get_data() { return current_data; }

Data* install_data(bool& is_owner) {
  is_owner = current_data == nullptr;
  if (is_owner) current_data = new Data;
  return current_data;
}

void uninstall_data() {
  delete current_data;
  current_data = nullptr;
}

Logos* get_logos(Data* data) { return data ? data->logos() : nullptr; }

WithContext::WithContext() : is_owner(false), data(install_data(is_owner)) {}

WithContext::~WithContext() {
  if (is_owner) uninstall_data();
}

WithDevice::WithDevice(const Device* device) : previous(is_owner ? nullptr : data->logos()) {
  if (device) data->set_logos(device->logos());
}

WithDevice::WithDevice(const Device& device) : previous(data->logos()) {
  data->set_logos(device.logos());
}

WithDevice::~WithDevice() { data->set_logos(previous); }

StepTrace::StepTrace(const Importance& importance_, const StepFields& label_)
    : importance(importance_), logged(false), label(label_), start(0) {}
StepTrace::~StepTrace() {}

ActorTrace::ActorTrace(const Importance& importance_, const SubFields& label_)
    : importance(importance_), logged(false), label(label_), start(0) {}
ActorTrace::~ActorTrace() {}

CallTrace::CallTrace(const Importance& importance_, const std::string& label_)
    : importance(importance_), logged(false), label(label_), start(0) {}
CallTrace::~CallTrace() {}

void CallTrace::replace(const Importance& importance_, const std::string& label_) {
  importance = importance_;
  label = label_;
}

}  // namespace Context
}  // namespace Vantrel

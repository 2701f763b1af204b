// The per-thread context record, its slot, the device binding scopes and the
// traced scopes.
//
// A record is reached only through its own thread's slot; nothing here takes
// a lock. The traced scopes write through Logger, which takes the
// destination's message lock for the life of each record.
#include <SimpleTime.h>

#include <ostream>
#include <utility>

#include "ContextInternal.h"
#include "DebugTrace.h"
#include "ErrnoKeeper.h"
#include "Library.h"
#include "zeltools/native/Native.h"

namespace Vantrel {
namespace Context {

// ---------------------------------------------------------------------------
// Field lists
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// The record and its slot
// ---------------------------------------------------------------------------

Data::Data() : logos_(get_logos(nullptr)) { calls.reserve(2); }

Data::~Data() = default;

Logos* Data::logos() const {
  VANTREL_DEBUG("Data::logos (), data=" << static_cast<const void*>(this)
                                        << " returning logos=" << static_cast<void*>(logos_));
  return logos_;
}

void Data::set_logos(Logos* x) {
  VANTREL_DEBUG("Data::set_logos (), x is logos=" << static_cast<void*>(x));
  logos_ = x ? x : default_logos();
  VANTREL_DEBUG("Data::set_logos (), logos_ is now logos="
                << static_cast<void*>(logos_) << ", returning data=" << static_cast<void*>(this));
}

Data* get_data() {
  TlsData* slot = tls_data();
  Data* data = slot ? slot->get() : nullptr;
  VANTREL_DEBUG("get_data () returning data=" << static_cast<void*>(data));
  return data;
}

Data* install_data(bool& is_owner) {
  const ErrnoKeeper keep_errno;
  VANTREL_DEBUG("install_data ()");
  TlsData* slot = tls_data();
  // Outside the library's lifetime there is no slot to store a record in.
  if (!slot) throw ZelTools::Native::CannotSetTls();
  Data* data = slot->get();
  is_owner = data == nullptr;
  VANTREL_DEBUG("install_data (), is_owner=" << is_owner << ", data=" << static_cast<void*>(data));
  if (is_owner) {
    VANTREL_DEBUG("install_data (), before new Context::Data");
    std::unique_ptr<Data> fresh(new Data);
    slot->set(fresh.get());  // may throw CannotSetTls; the record is then freed
    data = fresh.release();
    VANTREL_DEBUG("install_data (), after  new Context::Data");
  }
  VANTREL_DEBUG("install_data (), returning data=" << static_cast<void*>(data));
  return data;
}

void uninstall_data() {
  const ErrnoKeeper keep_errno;
  VANTREL_DEBUG("uninstall_data ()");
  TlsData* slot = tls_data();
  Data* data = slot ? slot->get() : nullptr;
  if (data) {
    VANTREL_DEBUG("uninstall_data (), delete data=" << static_cast<void*>(data));
    try {
      slot->set(nullptr);
    } catch (...) {
      // Clearing a slot does not allocate; should it still fail, the record
      // is left in place rather than leaving a dangling pointer behind.
      return;
    }
    delete data;
  }
  VANTREL_DEBUG("uninstall_data () at end");
}

Logos* get_logos(Data* data) {
  VANTREL_DEBUG("get_logos ()");
  if (data) {
    VANTREL_DEBUG("get_logos (), data=" << static_cast<void*>(data));
    Logos* logos = data->logos();
    VANTREL_DEBUG("get_logos (), returning logos=" << static_cast<void*>(logos));
    return logos;
  }
  Logos* logos = default_logos();
  VANTREL_DEBUG("get_logos (), returning default logos=" << static_cast<void*>(logos));
  return logos;
}

// ---------------------------------------------------------------------------
// Binding scopes
// ---------------------------------------------------------------------------

// is_owner is declared before data, so it exists when install_data sets it.
WithContext::WithContext() : is_owner(false), data(install_data(is_owner)) {}

WithContext::~WithContext() {
  if (is_owner) uninstall_data();
}

// A record found already in place keeps its binding to be restored; a record
// installed here is removed at the end, so there is nothing to restore.
WithDevice::WithDevice(const Device* device) : previous(is_owner ? nullptr : data->logos()) {
  if (device) data->set_logos(device->logos());
}

WithDevice::WithDevice(const Device& device) : previous(data->logos()) {
  data->set_logos(device.logos());
}

WithDevice::~WithDevice() { data->set_logos(previous); }

// ---------------------------------------------------------------------------
// Traced scopes
// ---------------------------------------------------------------------------

namespace {

// The label texts: "names#ids" for a step, the joined fields for an actor,
// the string itself for a call. Written straight into the record's stream.
void write_label(std::ostream& out, const StepFields& label) {
  out << label.names.text() << '#' << label.ids.text();
}
void write_label(std::ostream& out, const SubFields& label) { out << label.text(); }
void write_label(std::ostream& out, const std::string& label) { out << label; }

// Writes the opening message; true when it was written. Never throws: a
// failure to trace must not change the host's control flow.
template <class Label>
bool write_open(const Importance& importance, const Label& label) noexcept {
  try {
    Logger logger(importance, Logger::Open);
    std::ostream* out = logger.stream();
    if (!out) return false;
    write_label(*out, label);
    return true;
  } catch (...) {
    return false;
  }
}

// Writes the closing message "<label>: <elapsed>". Runs in destructors, so it
// swallows every failure.
template <class Label>
void write_close(const Importance& importance, const Label& label,
                 const SimpleTime::PhysicalTime& start) noexcept {
  try {
    Logger logger(importance, Logger::Close);
    if (std::ostream* out = logger.stream()) {
      write_label(*out, label);
      *out << ": " << (SimpleTime::clock().now() - start);
    }
  } catch (...) {
  }
}

}  // namespace

StepTrace::StepTrace(const Importance& importance_, const StepFields& label_)
    : importance(importance_), logged(false), label(label_), start(SimpleTime::clock().now()) {
  logged = write_open(importance, label);
}

StepTrace::~StepTrace() {
  if (logged) write_close(importance, label, start);
}

ActorTrace::ActorTrace(const Importance& importance_, const SubFields& label_)
    : importance(importance_), logged(false), label(label_), start(SimpleTime::clock().now()) {
  logged = write_open(importance, label);
}

ActorTrace::~ActorTrace() {
  if (logged) write_close(importance, label, start);
}

CallTrace::CallTrace(const Importance& importance_, const std::string& label_)
    : importance(importance_), logged(false), label(label_), start(SimpleTime::clock().now()) {
  logged = write_open(importance, label);
}

CallTrace::~CallTrace() {
  if (logged) write_close(importance, label, start);
}

void CallTrace::replace(const Importance& importance_, const std::string& label_) {
  importance = importance_;
  label = label_;
}

}  // namespace Context
}  // namespace Vantrel

// Workflow steps, actor scopes and the cross-call interface. Everything here
// changes only the calling thread's own context record, so nothing is locked
// except by the loggers of the traced scopes.
#include "ContextInternal.h"

#include <utility>

namespace Vantrel {
namespace Context {

// What a nested step displaced, put back when the step is left.
struct WorkflowScopeBase::SavedStep {
  StepFields caller;
  std::uint32_t minor_depth;
};

Root::Root(StepFields step, SubFields user_, const Device* device_)
    : StepFields(std::move(step)), user(std::move(user_)), device(device_) {}

Step::Step(StepFields step, const Device* device_) : StepFields(std::move(step)), device(device_) {}

WorkflowScopeBase::WorkflowScopeBase(const Root& root) : with_device(root.device) {
  Data& data = *with_device.data;
  // An existing record keeps its user unless the root names one.
  if (with_device.is_owner || root.user.has_fields()) data.user = root.user;
  enter(root);
}

WorkflowScopeBase::WorkflowScopeBase(const Step& step) : with_device(step.device) { enter(step); }

void WorkflowScopeBase::enter(const StepFields& step) {
  Data& data = *with_device.data;
  if (!with_device.is_owner && !data.root.empty()) {
    saved.reset(new SavedStep{std::move(data.caller), data.minor_depth});
    data.caller = std::move(data.callee);
    data.callee = step;
    data.major_tick += 1;
    data.major_depth += 1;
    data.minor_tick = 0;
    data.minor_depth = 0;
    return;
  }
  data.root = step;
  data.caller = StepFields();
  data.callee = step;
  data.major_tick = 0;
  data.major_depth = 0;
  data.minor_tick = 0;
  data.minor_depth = 0;
}

// A new workflow is not undone: the record keeps its root, caller and callee.
WorkflowScopeBase::~WorkflowScopeBase() {
  if (!saved) return;
  Data& data = *with_device.data;
  data.minor_tick = 0;
  data.minor_depth = saved->minor_depth;
  data.major_depth -= 1;
  data.major_tick += 1;
  data.callee = std::move(data.caller);
  data.caller = std::move(saved->caller);
}

WorkflowScope::WorkflowScope(const Root& root) : WorkflowScopeBase(root), trace(XL, root) {}

WorkflowScope::WorkflowScope(const Step& step) : WorkflowScopeBase(step), trace(L, step) {}

ActorScopeBase::ActorScopeBase() = default;

ActorScopeBase::~ActorScopeBase() = default;

void ActorScopeBase::replace(SubFields& slot, const SubFields& actor) {
  saved.reset(new SubFields(slot));
  slot = actor;
}

void ActorScopeBase::restore(SubFields& slot) {
  if (saved) slot = *saved;
  saved.reset();
}

ArchitectScopeBase::ArchitectScopeBase(const SubFields& architect) {
  if (Data* data = get_data()) replace(data->architect, architect);
}

ArchitectScopeBase::~ArchitectScopeBase() {
  if (Data* data = get_data()) restore(data->architect);
}

DeveloperScopeBase::DeveloperScopeBase(const SubFields& developer) {
  if (Data* data = get_data()) replace(data->developer, developer);
}

DeveloperScopeBase::~DeveloperScopeBase() {
  if (Data* data = get_data()) restore(data->developer);
}

ArchitectScope::ArchitectScope(const SubFields& architect)
    : ArchitectScopeBase(architect), trace(L, architect) {}

DeveloperScope::DeveloperScope(const SubFields& developer)
    : DeveloperScopeBase(developer), trace(M, developer) {}

namespace LowLevelAPI {

namespace {

Data& take_data() {
  bool is_owner = false;
  Data* data = install_data(is_owner);
  if (is_owner) data->installed_by_call = true;
  return *data;
}

void set_position(Data& data, const Call& call, const SubFields& user) {
  data.major_tick = call.major_tick;
  data.major_depth = call.major_depth;
  data.root = call.root;
  data.caller = call.caller;
  data.callee = call.callee;
  data.user = user;
  data.minor_tick = 0;
}

// A call is the outermost on the thread when no outgoing call is open and no
// other incoming call is (the call being pushed is not counted yet).
bool is_nested(const Data& data, Call_kind kind) {
  if (data.outgoing_calls != 0) return true;
  return kind == Call_kind::Incoming ? data.incoming_calls >= 1 : data.incoming_calls >= 2;
}

void push_call(Data& data, Call_kind kind, std::unique_ptr<CallTrace> trace) {
  data.calls.emplace_back(kind, data.minor_depth, std::move(trace));
  if (kind == Call_kind::Incoming) {
    data.incoming_calls += 1;
  } else {
    data.outgoing_calls += 1;
  }
}

void push_traced_call(Data& data, Call_kind kind, const Importance& first_importance,
                      const std::string& first_text, const Importance& nested_importance,
                      const std::string& nested_text) {
  const bool nested = is_nested(data, kind);
  std::unique_ptr<CallTrace> trace(nested ? new CallTrace(nested_importance, nested_text)
                                          : new CallTrace(first_importance, first_text));
  push_call(data, kind, std::move(trace));
}

// Pops the top call record whatever its kind; `kind` selects the counter.
void pop_call(Data& data, Call_kind kind) {
  if (!data.calls.empty()) data.minor_depth = data.calls.back().minor_depth;
  // A stray after_* call must not wrap a counter round.
  std::uint16_t& counter = kind == Call_kind::Incoming ? data.incoming_calls : data.outgoing_calls;
  if (counter > 0) counter -= 1;
  if (!data.calls.empty()) data.calls.pop_back();
}

void replace_top_trace(Data& data, const Importance& importance, const std::string& text) {
  if (!data.calls.empty() && data.calls.back().trace)
    data.calls.back().trace->replace(importance, text);
}

void remove_if_done(const Data& data) {
  if (data.installed_by_call && data.calls.empty()) uninstall_data();
}

}  // namespace

void set_user(const SubFields& user) {
  if (Data* data = get_data()) data->user = user;
}

void before_incoming_call(const Call& call, const SubFields& user) {
  Data& data = take_data();
  set_position(data, call, user);
  data.minor_depth = 0;
  push_call(data, Call_kind::Incoming, nullptr);
}

void before_incoming_call(const Call& call, const SubFields& user,
                          const Importance& first_importance, const std::string& first_text,
                          const Importance& nested_importance, const std::string& nested_text) {
  Data& data = take_data();
  set_position(data, call, user);
  data.minor_depth = 0;
  push_traced_call(data, Call_kind::Incoming, first_importance, first_text, nested_importance,
                   nested_text);
}

void after_incoming_call() {
  Data* data = get_data();
  if (!data) return;
  pop_call(*data, Call_kind::Incoming);
  remove_if_done(*data);
}

void after_incoming_call(const Importance& importance, const std::string& text) {
  Data* data = get_data();
  if (!data) return;
  replace_top_trace(*data, importance, text);
  pop_call(*data, Call_kind::Incoming);
  remove_if_done(*data);
}

void before_outgoing_call() { push_call(take_data(), Call_kind::Outgoing, nullptr); }

void before_outgoing_call(const Importance& first_importance, const std::string& first_text,
                          const Importance& nested_importance, const std::string& nested_text) {
  push_traced_call(take_data(), Call_kind::Outgoing, first_importance, first_text,
                   nested_importance, nested_text);
}

void after_outgoing_call(const Call& call, const SubFields& user) {
  Data* data = get_data();
  if (!data) return;
  set_position(*data, call, user);
  pop_call(*data, Call_kind::Outgoing);
  remove_if_done(*data);
}

void after_outgoing_call(const Call& call, const SubFields& user, const Importance& importance,
                         const std::string& text) {
  Data* data = get_data();
  if (!data) return;
  set_position(*data, call, user);
  replace_top_trace(*data, importance, text);
  pop_call(*data, Call_kind::Outgoing);
  remove_if_done(*data);
}

}  // namespace LowLevelAPI
}  // namespace Context
}  // namespace Vantrel

// coming_from: the Vantrel side of the guide's page for users of other
// logging libraries. Each part between "// [name]" and "// [end]" is shown on
// that page; the run's records are shown there too.
#include <Vantrel.h>

using namespace Vantrel::Context;

void set_level_at_run_time() {
  // [runtime-level]
  // From now on: active, messages of level S and above.
  Vantrel::Admin::active(true);
  Vantrel::Admin::importance(Vantrel::S);
  // The same as statements of the configuration language, plus the
  // workflow columns and the user in every text record:
  Vantrel::Admin::config(
      "active = true; importance = s; display_mask = root_name_mask | callee_mask | user_mask;");
  // [end]
}

void write_each_level() {
  // [levels]
  Vantrel::Printf{Vantrel::XS}("entering parse()");             // trace
  Vantrel::Printf{Vantrel::S}("cache miss for %s", "user:42");  // debug
  Vantrel::Printf{Vantrel::M}("listening on port %d", 8080);    // info
  Vantrel::Printf{Vantrel::Warning}("disk %d%% full", 93);      // warn
  Vantrel::Printf{Vantrel::Error}("cannot open %s", "orders.db");
  // [end]
}

void format_arguments(int order, const char* state) {
  // [formatting]
  Vantrel::Printf{Vantrel::M}("order %d: %s", order, state);  // checked like printf
  VANTREL_LOG(Vantrel::M) << "order " << order << ": " << state;
  // [end]
}

void write_to_a_sink_of_its_own() {
  // [sinks]
  // A destination with its own name, format, log directory and configuration
  // file (./audit_trace.ini); records go to it while a WithDevice binds it.
  static Device audit("audit", "xml", "", "");
  WithDevice bound(audit);
  Vantrel::Printf{Vantrel::L}("user %s logged in", "ann");
  // [end]
}

void trace_a_workflow() {
  // [workflow]
  WorkflowScope order(Root(StepFields(SubFields{"order"}, SubFields{"17"}), SubFields{"ann"}));
  WorkflowScope check(Step(StepFields(SubFields{"check"}, SubFields{"17"})));
  Vantrel::Printf{Vantrel::L}("%d items", 3);  // carries order#17, check#17 and ann
  // [end]
}

int main() {
  set_level_at_run_time();
  write_each_level();
  format_arguments(17, "shipped");
  write_to_a_sink_of_its_own();
  trace_a_workflow();
}

// wf: the workflow "orders" (run 7, user "ann") with a nested step "check"
// (id 1) that writes one warning. Its settings come from wf_trace.ini.
// Run as "./wf nested" it also counts the items inside the warning's own
// statement, a second message the thread cannot write meanwhile.
#include <Vantrel.h>

#include <string>

using namespace Vantrel::Context;

int count_items(bool trace) {
  if (trace) Vantrel::Printf{Vantrel::L}("counting items");  // dropped: nested
  return 2;
}

void check(int order, bool nested) {
  WorkflowScope step(Step(StepFields(SubFields{"check"}, SubFields{std::to_string(order)})));
  VANTREL_LOG(Vantrel::Warning) << "order " << order << ": " << count_items(nested) << " items";
}

int main(int argc, char**) {
  WorkflowScope workflow(Root(StepFields(SubFields{"orders"}, SubFields{"7"}), SubFields{"ann"}));
  check(1, argc > 1);
}

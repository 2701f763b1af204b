// orders: a host that traces a workflow into XML log files of 1,000 records
// each and keeps every full file.
//
//   g++ -std=c++17 -o orders orders.cpp $(pkg-config --cflags --libs vantrel)
//   mkdir -p logs && QZ_TRACE_LOGDIR=logs ./orders
#include <Vantrel.h>

#include <string>

using namespace Vantrel;
using Vantrel::Context::Root;
using Vantrel::Context::Step;
using Vantrel::Context::StepFields;
using Vantrel::Context::SubFields;
using Vantrel::Context::WorkflowScope;

// One order: a nested step with a message inside it.
void check_order(int order) {
  WorkflowScope step(Step(StepFields(SubFields{"check"}, SubFields{std::to_string(order)})));
  Printf{Vantrel::L}("order %d: %d items", order, order % 7 + 1);
}

int main() {
  // Settings from the program itself: XML files, 1,000 records per file,
  // full files kept, messages of level M and above.
  Admin::logext("xml");
  Admin::size(1000);
  Admin::keep(true);
  Admin::importance(Vantrel::M);
  Admin::active(true);

  // The workflow "orders", run 7 for the user "ann".
  WorkflowScope workflow(Root(StepFields(SubFields{"orders"}, SubFields{"7"}), SubFields{"ann"}));
  for (int order = 1; order <= 800; ++order) check_order(order);
  VANTREL_LOG(Vantrel::Success) << "all " << 800 << " orders checked";
}

// A multi-threaded service for the timeline tests: 3 threads serve 2 requests
// each (a root with nested steps, 11 ms in all, an architect scope, a cross
// call and a step left by an exception); the log rotates every 25 records.
// Run with QZ_TRACE_LOGDIR (and QZ_TRACE_XML=1 for XML).
#include <Vantrel.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Vantrel;
using namespace Vantrel::Context;

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void serve(const std::string& id) {
  WorkflowScope order(Root(StepFields({"order"}, {id}), SubFields{"ann"}));
  {
    WorkflowScope check(Step(StepFields({"check"}, {"c"})));
    ArchitectScope architect(SubFields{"ada"});
    pause_ms(2);
    WorkflowScope price(Step(StepFields({"price"}, {"p"})));
    pause_ms(3);
    Printf{M}("priced");
  }
  LowLevelAPI::before_outgoing_call(L, "call stock", M, "nested call stock");
  pause_ms(4);
  const Data* data = get_data();
  LowLevelAPI::after_outgoing_call(
      {data->major_tick, data->major_depth, data->root, data->caller, data->callee},
      SubFields{"ann"});
  try {
    WorkflowScope audit(Step(StepFields({"audit"}, {"a"})));
    pause_ms(2);
    throw std::runtime_error("audit failed");
  } catch (const std::exception&) {
  }
}

}  // namespace

int main() {
  Admin::config("active = true; importance = xs; size = 25; keep = true;");
  Printf{M}("service starts with %d threads", 3);
  std::vector<std::thread> workers;
  for (int worker = 0; worker < 3; ++worker)
    workers.emplace_back([worker] {
      for (int request = 0; request < 2; ++request)
        serve(std::to_string(worker) + "-" + std::to_string(request));
    });
  for (std::thread& thread : workers) thread.join();
  Printf{M}("service stops");
  return 0;
}

// A small multi-threaded service whose log the timeline tests read: each of
// 3 threads serves 2 requests, a workflow root with nested steps (sleeping
// 11 ms in all), an architect scope, an outgoing cross call and a step left
// by an exception. The destination rotates every 25 records and keeps full
// files. Run with QZ_TRACE_LOGDIR (and QZ_TRACE_XML=1 for XML).
#include <Vantrel.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Vantrel;
using Context::StepFields;
using Context::SubFields;

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void serve(const std::string& id) {
  Context::WorkflowScope order(
      Context::Root(StepFields(SubFields{"order"}, SubFields{id}), SubFields{"ann"}));
  {
    Context::WorkflowScope check(Context::Step(StepFields(SubFields{"check"}, SubFields{"c"})));
    Context::ArchitectScope architect(SubFields{"ada"});
    pause_ms(2);
    Context::WorkflowScope price(Context::Step(StepFields(SubFields{"price"}, SubFields{"p"})));
    pause_ms(3);
    Printf{M}("priced");
  }
  Context::LowLevelAPI::before_outgoing_call(L, "call stock", M, "nested call stock");
  pause_ms(4);
  const Context::Data* data = Context::get_data();
  Context::LowLevelAPI::after_outgoing_call(
      {data->major_tick, data->major_depth, data->root, data->caller, data->callee},
      SubFields{"ann"});
  try {
    Context::WorkflowScope audit(Context::Step(StepFields(SubFields{"audit"}, SubFields{"a"})));
    pause_ms(2);
    throw std::runtime_error("audit failed");
  } catch (const std::exception&) {
  }
}

}  // namespace

int main() {
  Admin::active(true);
  Admin::importance(XS);
  Admin::size(25);
  Admin::keep(true);
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

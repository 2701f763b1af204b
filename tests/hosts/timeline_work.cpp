// Work for the timeline tests, run with QZ_TRACE_LOGDIR (QZ_TRACE_XML=1 for
// XML). Alone: a multi-threaded service, 3 threads serving 2 requests each (a
// root with nested steps, 11 ms in all, an architect scope, a cross call and
// a step left by an exception); the log rotates every 25 records.
// As "caller": a workflow across processes; the caller (text) opens order#7
// and calls out to this program again as "callee TICK DEPTH" (XML), which
// serves the call at the caller's workflow position.
#include <Vantrel.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace Vantrel::Context::LowLevelAPI;

// Steps of a few milliseconds, which the summaries show, and within which a
// callee's scopes lie well inside the caller's call on a clock of milliseconds.
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
  before_outgoing_call(L, "call stock", M, "nested call stock");
  pause_ms(4);
  const Data* data = get_data();
  after_outgoing_call({data->major_tick, data->major_depth, data->root, data->caller, data->callee},
                      SubFields{"ann"});
  try {
    WorkflowScope audit(Step(StepFields({"audit"}, {"a"})));
    pause_ms(2);
    throw std::runtime_error("audit failed");
  } catch (const std::exception&) {
  }
}

int serve_call(unsigned tick, unsigned depth) {
  const Call call{tick, depth, StepFields({"order"}, {"7"}), StepFields({"order"}, {"7"}),
                  StepFields({"pricing"}, {"p1"})};
  before_incoming_call(call, SubFields{"alice"}, L, "incoming pricing call", M,
                       "nested pricing call");
  {
    WorkflowScope step(Step(StepFields({"price"}, {"p1"})));
    Printf{M}("priced %d items", 3);
    pause_ms(3);
  }
  after_incoming_call(L, "pricing call served");
  return 0;
}

int call_out(const char* self) {
  WithContext context;
  WorkflowScope order(Root(StepFields({"order"}, {"7"}), SubFields{"alice"}));
  pause_ms(2);
  before_outgoing_call(L, "calling pricing", M, "calling pricing again");
  const Data* data = get_data();
  const int status =
      std::system(("QZ_TRACE_XML=1 '" + std::string(self) + "' callee " +
                   std::to_string(data->major_tick) + " " + std::to_string(data->major_depth))
                      .c_str());
  // The callee's first record waits for its library's start: the call goes
  // on a while, so that the callee still lies inside it.
  pause_ms(20);
  const Call call{data->major_tick, data->major_depth, data->root, data->caller, data->callee};
  after_outgoing_call(call, data->user, L, "pricing returned");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string role = argc > 1 ? argv[1] : "";
  if (role == "callee" || role == "caller") {
    Admin::config("active = true; importance = xs; display_mask = all_mask;");
    return role == "caller" ? call_out(argv[0])
                            : serve_call(static_cast<unsigned>(std::atoi(argv[2])),
                                         static_cast<unsigned>(std::atoi(argv[3])));
  }
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

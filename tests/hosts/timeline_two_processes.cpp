// A workflow across processes: the caller (text) opens order#7 and calls out
// to this program again as "callee TICK DEPTH" (XML), which serves the call at
// the caller's workflow position. Run with QZ_TRACE_LOGDIR.
#include <Vantrel.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace Vantrel::Context::LowLevelAPI;

// Steps of a few milliseconds, so that the callee's scopes lie well inside
// the caller's call on a clock of milliseconds.
void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int serve(unsigned tick, unsigned depth) {
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
  Admin::config("active = true; importance = xs; display_mask = all_mask;");
  if (argc == 4 && std::string(argv[1]) == "callee")
    return serve(static_cast<unsigned>(std::atoi(argv[2])),
                 static_cast<unsigned>(std::atoi(argv[3])));
  return call_out(argv[0]);
}

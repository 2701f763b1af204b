// A small multi-threaded service whose log the timeline tests read. Each of
// argv[1] threads (3 by default) serves argv[2] requests (2 by default): a
// workflow root with nested steps, an architect scope, an outgoing cross call
// and a step left by an exception. The destination rotates every 25 records
// and keeps full files. Run with QZ_TRACE_LOGDIR (and QZ_TRACE_XML=1 for XML).
//
// Standard output gets one line per traced scope as the host measured it
// around the scope object, and the time the host slept inside it:
//   "<label>\t<measured milliseconds>\t<slept milliseconds>"
#include <Vantrel.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace Vantrel;
using Context::Root;
using Context::Step;
using Context::StepFields;
using Context::SubFields;

std::mutex output_lock;  // keeps the measurement lines whole

void report(const std::string& label, Clock::time_point begin, int slept_ms) {
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  std::lock_guard<std::mutex> guard(output_lock);
  std::printf("%s\t%.3f\t%d\n", label.c_str(), ms, slept_ms);
}

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void price_step() {
  Clock::time_point begin = Clock::now();
  {
    Context::WorkflowScope price(Step(StepFields(SubFields{"price"}, SubFields{"p"})));
    pause_ms(3);
    Printf{M}("priced");
  }
  report("price#p", begin, 3);
}

void failing_step() {
  Clock::time_point begin = Clock::now();
  try {
    Context::WorkflowScope audit(Step(StepFields(SubFields{"audit"}, SubFields{"a"})));
    pause_ms(2);
    throw std::runtime_error("audit failed");
  } catch (const std::exception&) {
    report("audit#a", begin, 2);
  }
}

void cross_call() {
  Clock::time_point begin = Clock::now();
  Context::LowLevelAPI::before_outgoing_call(L, "call stock", M, "nested call stock");
  pause_ms(4);
  Context::LowLevelAPI::Call position;
  if (const Context::Data* data = Context::get_data()) {
    position.major_tick = data->major_tick;
    position.major_depth = data->major_depth;
    position.root = data->root;
    position.caller = data->caller;
    position.callee = data->callee;
  }
  Context::LowLevelAPI::after_outgoing_call(position, SubFields{"ann"});
  report("call stock", begin, 4);
}

void serve(int worker, int request) {
  std::string id = std::to_string(worker) + "-" + std::to_string(request);
  Clock::time_point begin = Clock::now();
  {
    Context::WorkflowScope order(
        Root(StepFields(SubFields{"order"}, SubFields{id}), SubFields{"ann"}));
    Clock::time_point check_begin = Clock::now();
    {
      Context::WorkflowScope check(Step(StepFields(SubFields{"check"}, SubFields{"c"})));
      Context::ArchitectScope architect(SubFields{"ada"});
      pause_ms(2);
      price_step();
    }
    report("check#c", check_begin, 5);
    cross_call();
    failing_step();
  }
  report("order#" + id, begin, 11);
}

}  // namespace

int main(int argc, char** argv) {
  int const threads = argc > 1 ? std::atoi(argv[1]) : 3;
  int const requests = argc > 2 ? std::atoi(argv[2]) : 2;
  Admin::active(true);
  Admin::importance(XS);
  Admin::size(25);
  Admin::keep(true);
  Printf{M}("service starts with %d threads", threads);
  std::vector<std::thread> workers;
  for (int worker = 0; worker < threads; ++worker)
    workers.emplace_back([worker, requests] {
      for (int request = 0; request < requests; ++request) serve(worker, request);
    });
  for (std::thread& thread : workers) thread.join();
  Printf{M}("service stops");
  return 0;
}

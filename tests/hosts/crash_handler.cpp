// host_crash_handler INSTALL MODE SIGNAL_NUMBER: dies of the signal in nested
// scopes, the crash handler installed by the API (api), twice (twice), by
// QZ_TRACE_CRASH=1 (env) or not at all (none). MODE: raise, fault (a real one),
// stream (inside a record), chained (after a host handler), storm (two threads),
// first (in the first record), quiet (inactive), call (serving a cross call).
// Exits 3 if it lives on; dies of SIGALRM if it hangs.
#include <Vantrel.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

using namespace Vantrel;
using namespace Vantrel::Context;

namespace {

// A real fault of the signal's kind: an address, a bus error or abort().
void fault(int signal) {
  static volatile std::uintptr_t unmapped = 0x10;  // not null, which UBSan stops first
  char path[] = "/tmp/vantrel_crash_XXXXXX";
  const int fd = signal == SIGBUS ? mkstemp(path) : -1;  // empty: its page lies past the end
  unlink(path);
  auto* page =
      static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  if (page != MAP_FAILED) page[0] = 1;
  if (signal == SIGSEGV) *reinterpret_cast<int*>(unmapped) = 1;
  if (signal == SIGABRT) std::abort();
  raise(signal);
}

void host_handler(int) { (void)!write(STDERR_FILENO, "host handler ran\n", 17); }

// Workflow order#17 / check#3 for ann, with an architect and a developer.
template <class Crash>
void in_scopes(const char* order, Crash crash) {
  WorkflowScope root(Root(StepFields({order}, {"17"}), SubFields{"ann"}));
  WorkflowScope step(Step(StepFields({"check"}, {"3"})));
  ArchitectScope architect(SubFields{"arch"});
  DeveloperScope developer(SubFields{"dev", "<&>"});
  crash();
}

void storm(int signal) {
  std::atomic<int> ready{0};  // seq_cst: both threads raise once both are in
  auto worker = [&](const char* order) {
    in_scopes(order, [&] {
      for (ready.fetch_add(1); ready.load() < 2;) continue;
      raise(signal);
    });
  };
  std::thread first(worker, "first"), second(worker, "second");
  first.join();
  second.join();
}

void serve_call(int signal) {
  LowLevelAPI::Call call;
  call.root = call.callee = StepFields({"remote"}, {"9"});
  LowLevelAPI::before_incoming_call(call, SubFields{"bea"});
  raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
  alarm(20);
  const int signal = argc == 4 ? std::atoi(argv[3]) : 0;
  if (signal == 0) return 2;
  const std::string install = argv[1], mode = argv[2];
  if (mode == "chained") ::signal(signal, host_handler);
  if ((install == "api" || install == "twice") && !Admin::install_crash_handler()) return 2;
  if (install == "twice" && !Admin::install_crash_handler()) return 2;
  if (mode != "quiet") {
    Admin::active(true);
    Admin::importance(XS);
  }
  if (mode == "storm") storm(signal);
  if (mode == "first") VANTREL_LOG(M) << "first " << raise(signal);
  if (mode == "call") serve_call(signal);
  if (mode == "fault") in_scopes("order", [signal] { fault(signal); });
  if (mode == "stream")
    in_scopes("order", [signal] { VANTREL_LOG(M) << "half a record " << raise(signal); });
  in_scopes("order", [signal] { raise(signal); });
  return 3;
}

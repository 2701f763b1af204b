// Dies of a fatal signal inside nested workflow steps and actor scopes, with
// the crash handler installed or not. Run with QZ_TRACE_LOGDIR (and
// QZ_TRACE_XML=1 for XML).
//
//   host_crash_handler INSTALL MODE SIGNAL
//     INSTALL  api (Admin::install_crash_handler), env (QZ_TRACE_CRASH=1 does
//              it), none
//     MODE     raise    raise(SIGNAL) in the innermost scope
//              fault    a real fault of that kind (abort() for SIGABRT)
//              stream   raise(SIGNAL) inside a VANTREL_LOG expression, while
//                       this thread writes a record
//              chained  a host handler installed first writes
//                       "host handler ran" on standard error
//              storm    two threads, each in its own workflow, raise
//                       SIGNAL at the same moment
//              first    raise(SIGNAL) inside the log's first record, with
//                       no context
//              quiet    inactive settings: no record was written before
//              call     raise(SIGNAL) while serving an incoming cross call
//     SIGNAL   SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT
// Exits with 2 on bad arguments and 3 when the crash did not end it.
#include <Vantrel.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace Vantrel;

namespace {

int signal_number(const std::string& name) {
  const struct {
    const char* name;
    int number;
  } table[] = {{"SIGSEGV", SIGSEGV},
               {"SIGBUS", SIGBUS},
               {"SIGFPE", SIGFPE},
               {"SIGILL", SIGILL},
               {"SIGABRT", SIGABRT}};
  for (const auto& entry : table) {
    if (name == entry.name) return entry.number;
  }
  return 0;
}

void bus_error() {
  char path[] = "/tmp/vantrel_crash_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return;
  unlink(path);
  // A page mapped beyond the end of an empty file.
  auto* page =
      static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  if (page != MAP_FAILED) page[0] = 1;
}

// A real fault of the signal's kind, where the machine can make one.
void fault(int signal) {
  static volatile int zero = 0;
  // Near null, never mapped; not null itself, which UBSan would stop first.
  static volatile std::uintptr_t unmapped = 0x10;
  switch (signal) {
    case SIGSEGV:
      *reinterpret_cast<int*>(unmapped) = 1;
      break;
    case SIGBUS:
      bus_error();
      break;
#if defined(__x86_64__)
    case SIGFPE:
      zero = 1 / zero;
      break;
    case SIGILL:
      asm volatile("ud2");
      break;
#elif defined(__aarch64__)
    case SIGILL:
      asm volatile(".inst 0x00000000");
      break;
#endif
    case SIGABRT:
      std::abort();
    default:
      break;
  }
  raise(signal);  // no such fault here
}

int raise_now(int signal) {
  raise(signal);
  return 0;
}

void host_handler(int) {
  const char text[] = "host handler ran\n";
  if (write(STDERR_FILENO, text, sizeof text - 1) < 0) return;
}

// The innermost scope of a workflow order#17 / check#3 for ann, with an
// architect and a developer.
template <class Crash>
void in_scopes(const char* order, Crash crash) {
  Context::WorkflowScope root(
      Context::Root(Context::StepFields({order}, {"17"}), Context::SubFields{"ann"}));
  Context::WorkflowScope step(Context::Step(Context::StepFields({"check"}, {"3"})));
  Context::ArchitectScope architect(Context::SubFields{"arch"});
  Context::DeveloperScope developer(Context::SubFields{"dev", "<&>"});
  crash();
}

void storm(int signal) {
  std::atomic<int> ready{0};
  auto worker = [&](const char* order) {
    in_scopes(order, [&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      raise(signal);
    });
  };
  std::thread first(worker, "first");
  std::thread second(worker, "second");
  first.join();
  second.join();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string install = argv[1];
  const std::string mode = argv[2];
  const int signal = signal_number(argv[3]);
  if (signal == 0) return 2;
  if (mode == "chained") ::signal(signal, host_handler);
  if (install == "api" && !Admin::install_crash_handler()) return 2;
  if (mode != "quiet") {
    Admin::active(true);
    Admin::importance(XS);
  }
  if (mode == "storm") {
    storm(signal);
  } else if (mode == "fault") {
    in_scopes("order", [signal] { fault(signal); });
  } else if (mode == "first") {
    VANTREL_LOG(M) << "first " << raise_now(signal);
  } else if (mode == "call") {
    Context::LowLevelAPI::Call call;
    call.root = Context::StepFields({"remote"}, {"9"});
    call.callee = call.root;
    Context::LowLevelAPI::before_incoming_call(call, Context::SubFields{"bea"});
    raise(signal);
  } else if (mode == "stream") {
    in_scopes("order", [signal] { VANTREL_LOG(M) << "half a record " << raise_now(signal); });
  } else {
    in_scopes("order", [signal] { raise(signal); });
  }
  return 3;
}

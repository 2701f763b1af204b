#include "DebugTrace.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

#include "ErrnoKeeper.h"
#include "ForkHandlers.h"

#include "ThreadId.h"

namespace Vantrel {
namespace Debug {

std::atomic<bool> echo_flag{false};

void write_line(int source_line, const std::string& text) {
  const ErrnoKeeper keep_errno;
  std::ostringstream line;
  line << "\"../src/.\\Vantrel\", line " << source_line << ": (Thr-" << Native::current_thread_id()
       << "): " << text << '\n';
  const std::string s = line.str();
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

}  // namespace Debug

namespace Native {

unsigned long current_thread_id() {
  // The id never changes for the life of a thread, except for the thread
  // that forked, in the child: the syscall is made once per thread and fork.
  struct Cached {
    unsigned long id = 0;
    unsigned generation = 0;
  };
  // Initial-exec, as the record's texts (LogFileLog.cpp).
  static thread_local Cached cached __attribute__((tls_model("initial-exec")));
  const unsigned generation = ForkHandlers::generation();
  if (cached.id == 0 || cached.generation != generation) {
    cached.id = static_cast<unsigned long>(::syscall(SYS_gettid));
    cached.generation = generation;
  }
  return cached.id;
}

}  // namespace Native
}  // namespace Vantrel

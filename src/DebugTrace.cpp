#include "DebugTrace.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

#include "ThreadId.h"

namespace Vantrel {
namespace Debug {

std::atomic<bool> echo_flag{false};

void write_line(int source_line, const std::string& text) {
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
  // The id never changes for the life of a thread; the syscall is made once.
  static thread_local const unsigned long id = static_cast<unsigned long>(::syscall(SYS_gettid));
  return id;
}

}  // namespace Native
}  // namespace Vantrel

#include "DebugTrace.h"

#include <cstdio>

#include "ErrnoKeeper.h"
#include "zeltools/native/ThreadId.h"

namespace Vantrel {
namespace Debug {

std::atomic<bool> echo_flag{false};

void write_line(int source_line, const std::string& text) {
  const ErrnoKeeper keep_errno;
  std::ostringstream line;
  line << "\"../src/.\\Vantrel\", line " << source_line << ": (Thr-"
       << ZelTools::Native::current_thread_id() << "): " << text << '\n';
  const std::string s = line.str();
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

}  // namespace Debug
}  // namespace Vantrel

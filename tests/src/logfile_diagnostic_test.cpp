// A log file that cannot be opened is said once on standard error, as one
// "vantrel: " line naming the path and the system's error text, and again
// only after a file of that destination opened in between. Each case runs
// in a forked child, which may lower its descriptor limit.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <regex>
#include <string>

#include "src/logfile_support.h"

namespace {

using namespace Vantrel;
using logfile_support::TestClock;

// Records of size-1 files: each one opens a new file, a millisecond later.
void write_records(int count) {
  for (int i = 0; i < count; ++i) {
    Printf{M}("record %d", i);
    TestClock::advance(1);
  }
}

TEST(LogFileDiagnosticTest, SaidOnceUntilAFileOpens) {
  const logfile_support::TempDir dir;
  const std::string missing = dir.path + "/missing";
  const struct {
    const char* what;
    std::string logdir;
    int error, said;
    std::function<int()> work;
  } cases[] = {
      {"missing directory, created, then moved away", missing, ENOENT, 2,
       [&] {
         Admin::size(1);
         write_records(5);
         const bool made = mkdir(missing.c_str(), 0755) == 0;
         write_records(1);
         const bool moved = rename(missing.c_str(), (dir.path + "/moved").c_str()) == 0;
         write_records(5);
         return made && moved ? 0 : 3;
       }},
      // A sanitizer's first check of a dynamic type may need descriptors of
      // its own: one record meets the types before the table is full, and
      // setting the directory again closes its file.
      {"no descriptor left", dir.path, EMFILE, 1,
       [&] {
         write_records(1);
         Admin::logdir(dir.path);
         const int lowest_free = dup(0);
         close(lowest_free);
         const rlimit limit{static_cast<rlim_t>(lowest_free), static_cast<rlim_t>(lowest_free)};
         const bool limited = setrlimit(RLIMIT_NOFILE, &limit) == 0;
         write_records(5);
         return limited ? 0 : 3;
       }},
  };
  for (const auto& c : cases) {  // each in a child on the test clock
    SCOPED_TRACE(c.what);
    ::testing::internal::CaptureStderr();
    const pid_t child = fork();
    if (child == 0) {
      alarm(20);
      TestClock clock;
      Admin::active(true);
      Admin::importance(XS);
      Admin::logdir(c.logdir);
      _exit(c.work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    const std::string text = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
    const std::regex report("vantrel: cannot open log file " + c.logdir +
                            "/[^/\n]*_trace\\.log: " + std::strerror(c.error) + "\n");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), report),
                            std::sregex_iterator()),
              c.said)
        << text;
  }
}

}  // namespace

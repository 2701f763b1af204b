// A log file that cannot be opened is said once on standard error, as one
// "vantrel: " line naming the path and the system's error text, and again
// only after a file of that destination opened in between. Each case runs
// in a forked child: its standard error goes to a file, and it may lower its
// descriptor limit or give up root.
#include <Vantrel.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace Vantrel;

class LogFileDiagnosticTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VANTREL_BINARY_DIR) + "/logfile_diagnostic_XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs `work` in a child whose standard error goes to a file; returns
  // that file's text. `work` returns the child's exit code (77: skipped).
  std::string stderr_of(const std::function<int()>& work, int& code) {
    const std::string capture = dir_ + "/stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
      alarm(20);
      const int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0 || dup2(fd, 2) < 0) _exit(2);
      close(fd);
      Admin::active(true);
      Admin::importance(XS);
      _exit(work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(capture);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The number of lines of `text` that report `error` for a file in `logdir`.
  static int reports(const std::string& text, const std::string& logdir, int error) {
    const std::string head = "vantrel: cannot open log file " + logdir + "/";
    const std::string tail = std::string("_trace.log: ") + std::strerror(error);
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const bool ours = line.compare(0, head.size(), head) == 0 && line.size() > tail.size() &&
                        line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
      if (ours) ++count;
    }
    return count;
  }

  static void write_records(int count) {
    for (int i = 0; i < count; ++i) Printf{M}("record %d", i);
  }

  std::string dir_;
};

// Said once however many records are dropped; said again after a file
// opened: each record rotates (size 1), so the next one opens a new name.
TEST_F(LogFileDiagnosticTest, MissingDirectoryIsSaidOnceUntilAFileOpens) {
  const std::string logdir = dir_ + "/missing";
  int code = 0;
  const std::string text = stderr_of(
      [&] {
        Admin::logdir(logdir);
        Admin::size(1);
        write_records(5);
        if (mkdir(logdir.c_str(), 0755) != 0) return 3;
        write_records(1);
        if (rename(logdir.c_str(), (dir_ + "/moved").c_str()) != 0) return 4;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a new file name
        write_records(5);
        return 0;
      },
      code);
  ASSERT_EQ(code, 0) << text;
  EXPECT_EQ(reports(text, logdir, ENOENT), 2) << text;
}

TEST_F(LogFileDiagnosticTest, DescriptorLimitIsSaidOnce) {
  int code = 0;
  const std::string text = stderr_of(
      [&] {
        Admin::logdir(dir_);
        // A sanitizer's first check of a dynamic type may need descriptors
        // of its own: the message path meets its types once before the
        // table is full; setting the directory again closes that file.
        write_records(1);
        Admin::logdir(dir_);
        const int lowest_free = dup(0);
        close(lowest_free);
        const rlimit limit{static_cast<rlim_t>(lowest_free), static_cast<rlim_t>(lowest_free)};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 3;
        write_records(5);
        return 0;
      },
      code);
  ASSERT_EQ(code, 0) << text;
  EXPECT_EQ(reports(text, dir_, EMFILE), 1) << text;
}

// Root writes anywhere: the child gives up root for the nobody user first.
TEST_F(LogFileDiagnosticTest, UnwritableDirectoryIsSaidOnce) {
  const std::string logdir = dir_ + "/readonly";
  ASSERT_EQ(mkdir(logdir.c_str(), 0555), 0);
  chmod(dir_.c_str(), 0755);
  int code = 0;
  const std::string text = stderr_of(
      [&] {
        Admin::logdir(logdir);
        if (geteuid() == 0) {
          const uid_t nobody = 65534;
          if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
              setresuid(nobody, nobody, nobody) != 0) {
            return 77;
          }
        }
        if (access(logdir.c_str(), W_OK) == 0) return 77;
        write_records(5);
        return 0;
      },
      code);
  if (code == 77) GTEST_SKIP() << "cannot run as a user that may not write " << logdir;
  ASSERT_EQ(code, 0) << text;
  EXPECT_EQ(reports(text, logdir, EACCES), 1) << text;
}

}  // namespace

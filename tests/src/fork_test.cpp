// fork(): a child is a new process for the library. A parent writing on two
// threads forks children in a row; each child writes records and exits.
// No child hangs, each child's records go to a file named with its own pid
// and carry its pid and tid, and the parent's files keep exactly the
// parent's records, in order, across rotations.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "src/logfile_support.h"

namespace {

using namespace Vantrel;

// One text record: its pid, tid and message text.
struct Line {
  long pid = 0;
  long tid = 0;
  std::string text;
};

// The records of a text log file (head fields 5 and 6, text after 21 bars).
std::vector<Line> records_of(const std::string& path) {
  std::vector<Line> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (int bar = 0; bar < 21 && at != std::string::npos; ++bar) {
      const std::size_t next = line.find('|', at);
      fields.push_back(line.substr(at, next == std::string::npos ? next : next - at));
      at = next == std::string::npos ? next : next + 1;
    }
    if (at == std::string::npos) continue;
    lines.push_back({std::atol(fields[4].c_str()), std::atol(fields[5].c_str()), line.substr(at)});
  }
  return lines;
}

// Waits for a child that alarm() bounds; true when it exited with 0.
bool exited_cleanly(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Every record of the default destination goes to a fresh directory.
class ForkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Admin::logdir(scratch.path);
    Admin::active(true);
    Admin::importance(XS);
  }
  logfile_support::TempDir scratch;
  const std::string& dir = scratch.path;
};

TEST_F(ForkTest, ChildrenAreNewProcessesAndParentFilesStayIntact) {
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer does not follow the locks the fork handlers hold across
  // fork() and give back in the child: it still believes them held there
  // and reports the child's first record as a lock-order inversion.
  GTEST_SKIP() << "ThreadSanitizer cannot follow locks held across fork()";
#endif
  Admin::size(40);  // the parent rotates while it forks
  Admin::keep(true);

  Printf{M}("p 0");
  std::atomic<bool> stop{false};
  std::thread writer([&stop] {
    for (int n = 0; !stop.load(); ++n) Printf{M}("t %d", n);
  });
  constexpr int children = 24;
  std::vector<pid_t> pids;
  for (int i = 1; i <= children; ++i) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(10);  // a child that deadlocks dies of SIGALRM
      for (int r = 0; r < 3; ++r) Printf{M}("c %d %d", i, r);
      std::exit(0);  // the library stops as in any child that exits
    }
    pids.push_back(child);
    Printf{M}("p %d", i);
  }
  for (pid_t child : pids) EXPECT_TRUE(exited_cleanly(child)) << "child " << child;
  stop = true;
  writer.join();

  const long parent = getpid();
  std::map<long, std::vector<Line>> by_file_pid;
  // The time stamp orders one pid's files.
  for (const std::string& name : scratch.files()) {
    // "<base>_<pid>_<yyyy>_<mm>_<dd>_<hh>_<mm>_<ss>_<mmm>_trace.log"
    std::vector<std::string> parts;
    std::istringstream split(name);
    for (std::string part; std::getline(split, part, '_');) parts.push_back(part);
    ASSERT_GE(parts.size(), 10u) << name;
    const long file_pid = std::atol(parts[parts.size() - 9].c_str());
    for (const Line& line : records_of(dir + "/" + name)) by_file_pid[file_pid].push_back(line);
  }

  for (std::size_t i = 0; i < pids.size(); ++i) {
    const std::vector<Line>& lines = by_file_pid[pids[i]];
    ASSERT_EQ(lines.size(), 3u) << "child " << i + 1;
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(lines[r].text, "c " + std::to_string(i + 1) + " " + std::to_string(r));
      EXPECT_EQ(lines[r].pid, pids[i]);
      EXPECT_EQ(lines[r].tid, pids[i]);  // the forking thread is the child's main thread
    }
  }
  // The parent's files: its two threads' records only, each series whole
  // and in order across the rotated files.
  int next_p = 0;
  int next_t = 0;
  for (const Line& line : by_file_pid[parent]) {
    EXPECT_EQ(line.pid, parent);
    std::istringstream text(line.text);
    char series = 0;
    int n = -1;
    text >> series >> n;
    if (series == 'p') {
      EXPECT_EQ(n, next_p++);
    } else {
      EXPECT_EQ(series, 't') << line.text;
      EXPECT_EQ(n, next_t++);
    }
  }
  EXPECT_EQ(next_p, children + 1);
  EXPECT_GT(next_t, 0);
  EXPECT_EQ(by_file_pid.size(), pids.size() + 1);
}

// A fork inside the forking thread's own record: the child ends nothing in
// the parent's file and goes on with files of its own.
TEST_F(ForkTest, ForkInsideARecordLeavesTheRecordToTheParent) {
  pid_t child = -1;
  VANTREL_LOG(M) << "forking " << (child = fork());
  if (child == 0) {
    alarm(10);
    Printf{M}("child after");
    std::exit(0);
  }
  ASSERT_TRUE(exited_cleanly(child));
  Printf{M}("parent after");
  std::vector<std::string> texts;
  for (const std::string& name : scratch.files()) {
    for (const Line& line : records_of(dir + "/" + name)) {
      texts.push_back(std::to_string(line.pid == getpid()) + " " + line.text);
    }
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"0 child after", "1 forking " + std::to_string(child),
                                             "1 parent after"}));
}

}  // namespace

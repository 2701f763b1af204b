// fork(): a child is a new process for the library. No child hangs, each
// child's records go to a file named with its own pid and carry its pid and
// tid, and the parent's files keep exactly the parent's records, in order.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

#include "hosts/context_support.h"

namespace {

using namespace Vantrel;
using namespace context_support;

// Waits for a child that alarm() bounds; true when it exited with 0.
bool exited_cleanly(pid_t child) {
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Ends a child. AddressSanitizer's leak check at exit takes the sanitizer's
// allocator lock, which another thread of the parent may have held at fork()
// (GCC 12's runtime does not take it across fork): there the child skips it.
// Elsewhere the child goes through the library's exit, which must not wait
// for a lock the parent held.
[[noreturn]] void end_child() {
#if defined(__SANITIZE_ADDRESS__)
  _exit(0);
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  _exit(0);
#endif
#endif
  std::exit(0);
}

// Every record of the default destination goes to a fresh directory.
class ForkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Admin::logdir(dir.path);
    Admin::active(true);
    Admin::importance(XS);
  }
  // "pid tid text" per record, by the pid in the file's name (before the
  // time and the suffix, 34 characters).
  std::map<long, std::vector<std::string>> records_by_file_pid() const {
    std::map<long, std::vector<std::string>> records;
    for (const std::string& name : dir.files())
      for (const std::string& line : dir.lines(name))
        records[std::atol(name.c_str() + name.rfind('_', name.size() - 35) + 1)].push_back(
            std::to_string(std::atol(field_of(line, 4).c_str())) + " " +
            std::to_string(std::atol(field_of(line, 5).c_str())) + " " + message_of(line));
    return records;
  }
  TempDir dir;
};

TEST_F(ForkTest, ChildrenAreNewProcessesAndParentFilesStayIntact) {
#if defined(__SANITIZE_THREAD__)
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
      end_child();
    }
    pids.push_back(child);
    Printf{M}("p %d", i);
  }
  for (pid_t child : pids) EXPECT_TRUE(exited_cleanly(child)) << "child " << child;
  stop = true;
  writer.join();

  auto records = records_by_file_pid();
  EXPECT_EQ(records.size(), pids.size() + 1);
  for (int i = 1; i <= children; ++i) {
    const std::string pid = std::to_string(pids[i - 1]);
    const std::string head = pid + " " + pid + " c " + std::to_string(i) + " ";
    EXPECT_EQ(records[pids[i - 1]], (std::vector<std::string>{head + "0", head + "1", head + "2"}));
  }
  // The parent's two series each whole and in order across rotated files.
  int next[2] = {0, 0};
  const std::string parent = std::to_string(getpid()) + " ";
  for (const std::string& record : records[getpid()]) {
    ASSERT_EQ(record.rfind(parent, 0), 0u) << record;
    const std::size_t text = record.find(' ', parent.size()) + 1;
    const int series = record[text] == 'p' ? 0 : 1;
    EXPECT_EQ(record.substr(text), (series ? "t " : "p ") + std::to_string(next[series]++));
  }
  EXPECT_EQ(next[0], children + 1);
  EXPECT_GT(next[1], 0);
}

// A fork while another thread is inside a record waits for that record to
// end: the parent's records keep their order and the child writes at once.
TEST_F(ForkTest, ForkWaitsForAnotherThreadsRecord) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer cannot follow locks held across fork()";
#endif
  std::atomic<bool> in_record{false}, forking{false};
  const auto slow = [&] {  // holds the record open until well after the fork began
    in_record = true;
    while (!forking) std::this_thread::yield();
    usleep(50000);
    return "slow";
  };
  std::thread writer([&] { VANTREL_LOG(M) << "writer " << slow(); });
  while (!in_record) std::this_thread::yield();
  forking = true;
  const pid_t child = fork();
  if (child == 0) {
    alarm(10);
    Printf{M}("child");
    end_child();
  }
  Printf{M}("parent after");
  writer.join();
  ASSERT_TRUE(exited_cleanly(child));
  auto records = records_by_file_pid();
  EXPECT_EQ(records[child].size(), 1u);
  std::vector<std::string> texts = records[getpid()];
  for (std::string& text : texts) text.erase(0, text.find(' ', text.find(' ') + 1) + 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"writer slow", "parent after"}));
}

// A fork inside the forking thread's own record: the child ends nothing in
// the parent's file and goes on with files of its own.
TEST_F(ForkTest, ForkInsideARecordLeavesTheRecordToTheParent) {
  pid_t child = -1;
  VANTREL_LOG(M) << "forking " << (child = fork());
  if (child == 0) {
    alarm(10);
    Printf{M}("child after");
    end_child();
  }
  ASSERT_TRUE(exited_cleanly(child));
  Printf{M}("parent after");
  const std::string me = std::to_string(getpid()), tid = " " + me + " ";
  const std::string kid = std::to_string(child);
  EXPECT_EQ(records_by_file_pid(),
            (std::map<long, std::vector<std::string>>{
                {getpid(), {me + tid + "forking " + kid, me + tid + "parent after"}},
                {child, {kid + " " + kid + " child after"}}}));
}

}  // namespace

// Process facts: how they are read from the system, and what a process sees.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ZelTools/Portable.h"
#include "zeltools/cases_support.h"
#include "zeltools/portable/ProcessFacts.h"
#include "zeltools/portable/SystemCalls.h"

extern char** environ;

namespace {

namespace Facts = ZelTools::Portable::Facts;
namespace System = ZelTools::Portable::System;
using Args = std::vector<std::string>;

// The rows of one kind, each with its kind dropped.
std::vector<Args> rows(const std::string& kind) {
  std::vector<Args> found;
  for (auto& row : cases::read("zeltools/portable/cases/process_facts.txt"))
    if (row[0] == kind) found.emplace_back(row.begin() + 1, row.end());
  return found;
}

TEST(ProcessFactsTest, SplitCommandLineAndName) {
  for (const Args& c : rows("split"))
    EXPECT_EQ(Facts::split_command_line(c[0]), Args(c.begin() + 1, c.end())) << c[0];
  for (const Args& c : rows("name")) EXPECT_EQ(Facts::name_from_argument(c[0]), c[1]) << c[0];
}

// The largest buffer a stand-in readlink was offered.
std::size_t largest;

// The command line file, else the executable's link (read whole however
// long), when the file is missing, empty or fails to read; a link that never
// fits its buffer is given up once the buffer is 1 MiB.
TEST(ProcessFactsTest, CommandLineFileOrExecutableLink) {
  char pattern[] = "/tmp/vantrel_args_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern, cmdline = dir + "/cmdline", exe = dir + "/exe";
  for (const Args& c : rows("read")) {
    ::unlink(cmdline.c_str());
    ::unlink(exe.c_str());
    if (c[0] != "-") std::ofstream(cmdline, std::ios::binary) << c[0];
    ASSERT_EQ(symlink(c[1].c_str(), exe.c_str()), 0);
    System::Calls calls = System::real_calls();
    if (c[2] == "1")
      calls.read = [](int, void*, std::size_t) -> ssize_t { return errno = EIO, -1; };
    if (c[2] == "2")
      calls.readlink = [](const char*, char*, std::size_t size) -> ssize_t {
        largest = std::max(largest, size);
        return static_cast<ssize_t>(size);
      };
    largest = 0;
    System::ScopedCalls scope(calls);
    EXPECT_EQ(Facts::read_arguments(cmdline.c_str(), exe.c_str()), Args(c.begin() + 3, c.end()))
        << c[0];
    EXPECT_EQ(largest, c[2] == "2" ? std::size_t{1} << 20 : 0);
  }
  EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

// The host prints its name, argument count, arguments in brackets and id.
TEST(ProcessTest, ChildSeesItsOwnArgumentsAndName) {
  const std::string host = VANTREL_TEST_HOSTS_DIR "/host_foundation_process";
  const std::string out = testing::TempDir() + "process_out_" + std::to_string(getpid());
  for (Args c : rows("spawn")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::size_t i = 0; i + 1 < c.size(); ++i) argv.push_back(&c[i][0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::ostringstream text;
    text << std::ifstream(out).rdbuf();
    EXPECT_EQ(text.str(), c.back() + std::to_string(pid) + "\n");
  }
  ::unlink(out.c_str());
}

}  // namespace

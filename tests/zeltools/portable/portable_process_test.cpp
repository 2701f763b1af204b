// Process facts: how they are read from the system, and what a running
// process sees.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ZelTools/Portable.h"
#include "zeltools/portable/ProcessFacts.h"
#include "zeltools/portable/SystemCalls.h"

extern char** environ;

namespace {

namespace Portable = ZelTools::Portable;
namespace Facts = ZelTools::Portable::Facts;
namespace System = ZelTools::Portable::System;
using Args = std::vector<std::string>;

TEST(ProcessFactsTest, SplitCommandLine) {
  const struct {
    std::string raw;
    Args expected;
  } cases[] = {
      {std::string("a\0b\0", 4), {"a", "b"}},
      {std::string("a\0\0", 3), {"a", ""}},
      {std::string("\0", 1), {""}},
      {std::string("a\0b", 3), {"a", "b"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.expected));
    EXPECT_EQ(Facts::split_command_line(c.raw), c.expected);
  }
}

TEST(ProcessFactsTest, NameFromFirstArgument) {
  const struct {
    const char* first;
    const char* name;
  } cases[] = {{"/opt/bin/server.exe", "server"},
               {"server", "server"},
               {"/opt/bin/SERVER.EXE", "SERVER.EXE"},
               {"/usr/bin/server", "server"},
               {"./server/", "server"},
               {"", ""},
               {".exe", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(Facts::name_from_argument(c.first), c.name);
  }
}

class ReadArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel_args_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }

  std::string dir_;
};

TEST_F(ReadArgumentsTest, CommandLineFileOrExecutableLink) {
  const std::string long_target = "/" + std::string(4000, 'd') + "/server";  // > 1024 bytes
  const struct {
    const char* what;
    const char* cmdline;  // nullptr: no such file
    std::size_t cmdline_size;
    std::string exe;
    bool read_fails;
    Args expected;
  } cases[] = {
      {"command line", "/bin/srv\0-v\0\0", 13, "/opt/bin/server", false, {"/bin/srv", "-v", ""}},
      {"empty command line", "", 0, "/opt/bin/server", false, {""}},
      {"unreadable", nullptr, 0, "/opt/bin/server", false, {"/opt/bin/server"}},
      {"long link is not cut", nullptr, 0, long_target, false, {long_target}},
      {"read error", "a\0", 2, "/opt/bin/server", true, {"/opt/bin/server"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string cmdline = dir_ + "/cmdline", exe = dir_ + "/exe";
    ::unlink(cmdline.c_str());
    ::unlink(exe.c_str());
    if (c.cmdline)
      std::ofstream(cmdline, std::ios::binary) << std::string(c.cmdline, c.cmdline_size);
    ASSERT_EQ(symlink(c.exe.c_str(), exe.c_str()), 0);
    System::Calls calls = System::real_calls();
    if (c.read_fails) {
      calls.read = [](int, void*, std::size_t) -> ssize_t {
        errno = EIO;
        return -1;
      };
    }
    System::ScopedCalls scope(calls);
    EXPECT_EQ(Facts::read_arguments(cmdline.c_str(), exe.c_str()), c.expected);
  }
}

// A link that never fits its buffer is given up once the buffer has grown
// to 1 MiB.
TEST(ProcessFactsTest, LinkThatNeverFitsIsGivenUpAtOneMebibyte) {
  static std::size_t largest;
  largest = 0;
  System::Calls calls = System::real_calls();
  calls.readlink = [](const char*, char*, std::size_t size) -> ssize_t {
    largest = std::max(largest, size);
    return static_cast<ssize_t>(size);
  };
  System::ScopedCalls scope(calls);
  std::string target;
  EXPECT_FALSE(Facts::read_link("/proc/self/exe", target));
  EXPECT_EQ(largest, std::size_t{1} << 20);
}

TEST(ProcessTest, ArgvAndEnvpArePointerViews) {
  Portable::Process process;
  char** argv = process.argv();
  ASSERT_NE(argv, nullptr);
  for (int i = 0; i < process.argc(); ++i) {
    EXPECT_EQ(argv[i], process.args()[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(argv[process.argc()], nullptr);
  ASSERT_EQ(setenv("VANTREL_PROCESS_TEST_ENV", "1", 1), 0);
  EXPECT_EQ(process.envp(), environ) << "the current environment, not a copy";
}

// Runs the host with the given argv[0] and returns what it printed.
std::string run_host_as(const std::string& argv0, const std::vector<std::string>& more) {
  std::string host = std::string(VANTREL_TEST_HOSTS_DIR) + "/host_foundation_process";
  std::string out = testing::TempDir() + "foundation_process_out.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> args{argv0};
  args.insert(args.end(), more.begin(), more.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return "spawn failed";
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text + "pid " + std::to_string(pid) + "\n";
}

TEST(ProcessTest, ChildSeesItsOwnArgumentsAndName) {
  const struct {
    std::string argv0;
    std::vector<std::string> more;
    std::string expected_head;
  } cases[] = {
      {"/opt/bin/server.exe", {"-x", ""}, "server\n3\n[/opt/bin/server.exe]\n[-x]\n[]\n"},
      {"server", {}, "server\n1\n[server]\n"},
      {"/opt/bin/SERVER.EXE", {"a b"}, "SERVER.EXE\n2\n[/opt/bin/SERVER.EXE]\n[a b]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv0);
    std::string text = run_host_as(c.argv0, c.more);
    ASSERT_EQ(text.compare(0, c.expected_head.size(), c.expected_head), 0) << text;
    // The id line matches the child's pid.
    std::string rest = text.substr(c.expected_head.size());
    std::string id = rest.substr(0, rest.find('\n'));
    EXPECT_EQ(rest, id + "\npid " + id + "\n");
  }
}

}  // namespace

// The vantrel-config tool and a host that runs a configuration text through
// the shared library, each as a child process with its own environment
// (cases/tool.txt).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

#include "zeltools/cases_support.h"

namespace {

// Runs a shell command with `input` on its standard input; returns its exit
// status and its standard output followed by its standard error.
std::pair<int, std::string> run(const std::string& command, const std::string& input) {
  const std::string err =
      testing::TempDir() + "vantrel_config_tool_" + std::to_string(::getpid()) + ".err";
  const std::string script = command + " 2>'" + err + "' <<'END_OF_INPUT'\n" + input +
                             "\nEND_OF_INPUT\nstatus=$?; cat '" + err + "'; rm -f '" + err +
                             "'; exit $status";
  std::string out;
  FILE* pipe = ::popen(script.c_str(), "r");
  char buffer[512];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  const int raw = pipe ? ::pclose(pipe) : -1;
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

TEST(ConfigToolTest, OutputAndStatusOfEachKindOfRun) {
  for (const cases::Fields& c : cases::read("src/config/cases/tool.txt")) {
    std::string command =
        "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR "
        "-u QZ_TRACE_CONFIGFILE";
    std::istringstream variables(c[0]);
    for (std::string variable; variables >> variable;) command += " QZ_TRACE_" + variable;
    const std::string program = c[1].substr(0, 4) == "tool"
                                    ? VANTREL_BINARY_DIR "/tools/vantrel-config"
                                    : VANTREL_TEST_HOSTS_DIR "/host_config_run";
    command += " " + program + c[1].substr(4);
    SCOPED_TRACE(command + " < " + c[2]);
    EXPECT_EQ(run(command, c[2]), std::make_pair(std::stoi(c[3]), c[4]));
  }
}

}  // namespace

// The vantrel-config tool and a host that runs a configuration text through
// the shared library, each as a child process with its own environment
// (cases/tool.txt).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "src/logfile_support.h"
#include "zeltools/cases_support.h"

namespace {

// Each row's command gets its input on standard input; its exit status and
// its standard output followed by its standard error are compared.
TEST(ConfigToolTest, OutputAndStatusOfEachKindOfRun) {
  const std::string err = testing::TempDir() + "vantrel_config_tool_" + std::to_string(::getpid());
  for (const cases::Fields& c : cases::read("src/config/cases/tool.txt")) {
    std::string command =
        "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR -u QZ_TRACE_CONFIGFILE " +
        c[0];
    command += c[1].substr(0, 4) == "tool" ? " " VANTREL_BINARY_DIR "/tools/vantrel-config"
                                           : " " VANTREL_TEST_HOSTS_DIR "/host_config_run";
    command += c[1].substr(4);
    SCOPED_TRACE(command + " < " + c[2]);
    int status = 0;
    const std::string out = logfile_support::run(command + " 2>'" + err + "' <<'END_OF_INPUT'\n" +
                                                     c[2] + "\nEND_OF_INPUT\nstatus=$?; cat '" +
                                                     err + "'; rm -f '" + err + "'; exit $status",
                                                 &status);
    EXPECT_EQ(std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, out),
              std::make_pair(std::stoi(c[3]), c[4]));
  }
}

}  // namespace

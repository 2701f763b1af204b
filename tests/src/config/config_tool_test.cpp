// The vantrel-config tool and a host that runs a configuration text through
// the shared library, each as a child process with its own environment.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

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

const std::string clean =
    "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR "
    "-u QZ_TRACE_CONFIGFILE ";
const std::string binary = VANTREL_BINARY_DIR "/tools/vantrel-config";
const std::string tool = clean + binary;
const std::string host = VANTREL_TEST_HOSTS_DIR "/host_config_run";
const std::string names = "echo(name + \"|\" + log_dir + \"|\" + config_file);";
const std::string settings = "active       = false;\nimportance   = '==';\n";
const std::string usage =
    "usage: vantrel-config [--run-system] [--name NAME] [--logdir DIR] [--configfile PATH] "
    "[FILE]\n       vantrel-config --version\n";

// Settings on success, the error line and status 1 on failure, status 2 for
// bad usage; system(...) is only shown unless --run-system asks for it; the
// names come from the environment, the options overriding it. The host runs
// the form of the shared library that takes its names from the environment.
TEST(ConfigToolTest, OutputAndStatusOfEachKindOfRun) {
  const struct {
    std::string command, input;
    int status;
    std::string out;
  } cases[] = {
      {tool, "active = true; size = 5000; echo(\"checked\");", 0,
       "checked\nactive       = true;\nimportance   = '==';\nsize         = 5000;\n"},
      {tool, "size = 20;\nsize = 1 / 0;", 1,
       "error: division by zero: between line 2.12 and line 2.13\n"},
      {tool, "system(\"echo ran\");", 0, settings + "vantrel-config: not run: echo ran\n"},
      {tool + " --run-system", "system(\"echo ran\");", 0, "ran\n" + settings},
      {clean + "QZ_TRACE_NAME=svc QZ_TRACE_LOGDIR=/var/log QZ_TRACE_CONFIGDIR=/etc " + binary,
       names, 0, "svc|/var/log|/etc/svc_trace.ini\n" + settings},
      {tool + " --name db", names, 0, "db|.|./db_trace.ini\n" + settings},
      {clean + "QZ_TRACE_NAME=svc " + binary + " --name db --logdir /l --configfile /c.ini", names,
       0, "db|/l|/c.ini\n" + settings},
      {tool + " --bogus", "", 2, usage},
      {tool + " --name", "", 2, usage},
      {tool + " /nonexistent/file.ini", "", 2,
       "vantrel-config: cannot open '/nonexistent/file.ini'\n"},
      {clean + "QZ_TRACE_NAME=app " + host, names + " keep = true;", 0,
       "app|.|./app_trace.ini\n" + settings + "keep         = true;\n"},
      {clean + "QZ_TRACE_NAME=svc QZ_TRACE_LOGDIR=/l QZ_TRACE_CONFIGDIR=/etc/svc " + host, names, 0,
       "svc|/l|/etc/svc/svc_trace.ini\n" + settings},
      {clean + "QZ_TRACE_NAME=svc QZ_TRACE_CONFIGFILE=/tmp/other.ini " + host, names, 0,
       "svc|.|/tmp/other.ini\n" + settings},
      {host, "keep = ;", 1, "error: after bool lhs =: between line 1.8 and line 1.9\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " < " + c.input);
    EXPECT_EQ(run(c.command, c.input), std::make_pair(c.status, c.out));
  }
}

}  // namespace

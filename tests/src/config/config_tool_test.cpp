// The vantrel-config tool and a host that runs a configuration text through
// the shared library, each as a child process with its own environment.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct Child {
  int status;
  std::string out;  // standard output and standard error, in that order
};

// Runs a shell command with stdin from a file holding `input`.
Child run(const std::string& command, const std::string& input) {
  const std::string path =
      testing::TempDir() + "vantrel_config_tool_" + std::to_string(::getpid()) + ".ini";
  std::ofstream(path) << input;
  const std::string err_path = path + ".err";
  const std::string full = command + " < '" + path + "' 2> '" + err_path + "'";
  Child child{-1, ""};
  if (FILE* pipe = ::popen(full.c_str(), "r")) {
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      child.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    child.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::ifstream err(err_path);
  child.out += std::string(std::istreambuf_iterator<char>(err), {});
  std::remove(path.c_str());
  std::remove(err_path.c_str());
  return child;
}

const std::string tool = VANTREL_BINARY_DIR "/tools/vantrel-config";
const std::string host = VANTREL_TEST_HOSTS_DIR "/host_config_run";
const std::string clean_env =
    "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR -u QZ_TRACE_CONFIGFILE ";

TEST(ConfigToolTest, SettingsOnSuccessErrorLineAndStatus1OnFailure) {
  if (::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vantrel-config not built";
  const Child ok = run(tool, "active = true; size = 5000; echo(\"checked\");");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "checked\nactive       = true;\nimportance   = '==';\nsize         = 5000;\n");
  const Child failed = run(tool, "size = 20;\nsize = 1 / 0;");
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "error: division by zero: between line 2.12 and line 2.13\n");
}

// Checking a file must not run its commands: system(...) is only shown,
// unless --run-system asks for it.
TEST(ConfigToolTest, SystemRunsOnlyWithRunSystem) {
  if (::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vantrel-config not built";
  const std::string text = "system(\"echo ran\"); active = true;";
  const std::string settings = "active       = true;\nimportance   = '==';\n";
  const Child checked = run(tool, text);
  EXPECT_EQ(checked.status, 0);
  EXPECT_EQ(checked.out, settings + "vantrel-config: not run: echo ran\n");
  const Child ran = run(tool + " --run-system", text);
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(ran.out, "ran\n" + settings);
}

TEST(ConfigToolTest, NamesFromTheEnvironmentAndTheOptions) {
  if (::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vantrel-config not built";
  const std::string text = "echo(name + \"|\" + log_dir + \"|\" + config_file);";
  const Child from_env =
      run(clean_env + "QZ_TRACE_NAME=svc QZ_TRACE_LOGDIR=/var/log QZ_TRACE_CONFIGDIR=/etc " + tool,
          text);
  EXPECT_EQ(from_env.out.substr(0, from_env.out.find('\n')), "svc|/var/log|/etc/svc_trace.ini");
  const Child from_options = run(
      clean_env + "QZ_TRACE_NAME=svc " + tool + " --name db --logdir /l --configfile /c.ini", text);
  EXPECT_EQ(from_options.out.substr(0, from_options.out.find('\n')), "db|/l|/c.ini");
  const Child named = run(clean_env + tool + " --name db", text);
  EXPECT_EQ(named.out.substr(0, named.out.find('\n')), "db|.|./db_trace.ini");
}

TEST(ConfigToolTest, UsageErrorsAndMissingFiles) {
  if (::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vantrel-config not built";
  EXPECT_EQ(run(tool + " --bogus", "").status, 2);
  EXPECT_EQ(run(tool + " --name", "").status, 2);
  EXPECT_EQ(run(tool + " /nonexistent/file.ini", "").status, 2);
}

TEST(ConfigHostTest, SharedLibraryParsesWithTheDefaultDestinationsNames) {
  const Child c = run(clean_env + "QZ_TRACE_NAME=app " + host,
                      "echo(name + \"|\" + config_file); keep = true;");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.out,
            "app|./app_trace.ini\nactive       = false;\nimportance   = '==';\n"
            "keep         = true;\n");
  const Child bad = run(host, "keep = ;");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "error: after bool lhs =: between line 1.8 and line 1.9\n");
}

}  // namespace

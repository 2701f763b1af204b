// A setuid-root copy of a host, run by an unprivileged user, takes nothing
// from its caller: no QZ_TRACE_ variable (so no log directory, name or
// configuration file of the caller's choosing) and no configuration file
// from the caller's current directory.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace {

namespace fs = std::filesystem;
using ::logfile_support::TempDir;

const uid_t nobody = 65534;

// Runs `program` in `dir` with `env`, as `uid` when it is not root; returns
// its standard output.
std::string run_as(uid_t uid, const std::string& program, const std::string& dir,
                   std::vector<std::string> env) {
  int out[2];
  if (::pipe(out) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    const bool ok = ::chdir(dir.c_str()) == 0 &&
                    (uid == 0 || (::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
                                  ::setresuid(uid, uid, uid) == 0));
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (ok) ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return text;
}

TEST(PrivilegedHostTest, SetuidCopyIgnoresTheCallersEnvironmentAndDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a setuid-root copy needs root";
  TempDir top;
  ::chmod(top.path.c_str(), 0755);
  struct statvfs fs_info;
  ASSERT_EQ(::statvfs(top.path.c_str(), &fs_info), 0);
  if (fs_info.f_flag & ST_NOSUID) GTEST_SKIP() << top.path << " is mounted nosuid";
  const std::string host = top.path + "/host", work = top.path + "/work",
                    attacker = top.path + "/attacker";
  fs::copy_file(VANTREL_TEST_HOSTS_DIR "/host_security_setuid", host);
  ASSERT_EQ(::chown(host.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(host.c_str(), 04755), 0);
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(attacker.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(attacker.c_str(), 0777), 0);
  // Files a root host would run outside a privileged process.
  std::ofstream(work + "/host_trace.ini") << "system(\"touch " << top.path << "/ran_cwd\");\n";
  std::ofstream(work + "/chosen.ini") << "system(\"touch " << top.path << "/ran_env\");\n";
  const std::vector<std::string> env = {"QZ_TRACE_NAME=../escape", "QZ_TRACE_LOGDIR=" + attacker,
                                        "QZ_TRACE_CONFIGFILE=" + work + "/chosen.ini"};

  const std::string output = run_as(nobody, host, work, env);
  EXPECT_EQ(output, "name=host\nlogdir=.\nconfigfile=\n");
  EXPECT_FALSE(fs::exists(top.path + "/ran_cwd"));
  EXPECT_FALSE(fs::exists(top.path + "/ran_env"));
  EXPECT_TRUE(fs::is_empty(attacker));
  EXPECT_FALSE(fs::exists(top.path + "/escape"));
  int records = 0;  // the record went to the current directory, under the real name
  for (const auto& entry : fs::directory_iterator(work))
    records += entry.path().extension() == ".log" &&
               entry.path().filename().string().rfind("host_", 0) == 0;
  EXPECT_EQ(records, 1);

  // The same environment is taken by a process that is not privileged.
  const std::string plain = run_as(0, VANTREL_TEST_HOSTS_DIR "/host_security_setuid", work, env);
  EXPECT_NE(plain.find("logdir=" + attacker + "\n"), std::string::npos) << plain;
  EXPECT_TRUE(fs::exists(top.path + "/ran_env"));
  fs::remove_all(top.path);
  ::mkdir(top.path.c_str(), 0700);  // for TempDir's own clean-up
}

}  // namespace

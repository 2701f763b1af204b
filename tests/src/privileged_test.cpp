// A setuid-root copy of a host, run by an unprivileged user, takes nothing
// from its caller: no QZ_TRACE_ variable (so no log directory, name or
// configuration file of the caller's choosing) and no configuration file
// from the caller's current directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "src/logfile_support.h"

namespace {

namespace fs = std::filesystem;

TEST(PrivilegedHostTest, SetuidCopyIgnoresTheCallersEnvironmentAndDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a setuid-root copy needs root";
  logfile_support::TempDir top;
  ::chmod(top.path.c_str(), 0755);
  struct statvfs fs_info;
  ASSERT_EQ(::statvfs(top.path.c_str(), &fs_info), 0);
  if (fs_info.f_flag & ST_NOSUID) GTEST_SKIP() << top.path << " is mounted nosuid";
  const std::string host = top.path + "/host", work = top.path + "/work",
                    attacker = top.path + "/attacker";
  fs::copy_file(VANTREL_TEST_HOSTS_DIR "/host_security_setuid", host);
  ASSERT_EQ(::chown(host.c_str(), 0, 0) | ::chmod(host.c_str(), 04755), 0);
  ASSERT_EQ(::mkdir(work.c_str(), 0755) | ::mkdir(attacker.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(attacker.c_str(), 0777), 0);
  // Files a root host would run outside a privileged process.
  std::ofstream(work + "/host_trace.ini") << "system(\"touch " << top.path << "/ran_cwd\");\n";
  std::ofstream(work + "/chosen.ini") << "system(\"touch " << top.path << "/ran_env\");\n";
  // Runs `program` in work with only the caller's variables, as nobody or not.
  const auto run = [&](const std::string& program, bool as_nobody) {
    int status = 0;
    return logfile_support::run(
        "cd '" + work + "' && env -i QZ_TRACE_NAME=../escape QZ_TRACE_LOGDIR=" + attacker +
            " QZ_TRACE_CONFIGFILE=" + work + "/chosen.ini" +
            (as_nobody ? " setpriv --reuid=65534 --regid=65534 --clear-groups " : " ") + program,
        &status);
  };
  EXPECT_EQ(run(host, true), "name=host\nlogdir=.\nconfigfile=\n");
  for (const char* leaf : {"/ran_cwd", "/ran_env", "/escape"})
    EXPECT_FALSE(fs::exists(top.path + leaf)) << leaf;
  EXPECT_TRUE(fs::is_empty(attacker));

  // The same environment is taken by a process that is not privileged.
  const std::string plain = run(VANTREL_TEST_HOSTS_DIR "/host_security_setuid", false);
  EXPECT_NE(plain.find("logdir=" + attacker + "\n"), std::string::npos) << plain;
  EXPECT_TRUE(fs::exists(top.path + "/ran_env"));
  fs::remove_all(top.path);
  ::mkdir(top.path.c_str(), 0700);  // for TempDir's own clean-up
}

}  // namespace

// The configuration file runs only when nobody but root and the host's user
// can have written it: each refusal leaves the settings as they were and is
// said once on standard error. The tests run as root.
#include "ConfigFileAccess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "EditableConfig.h"
#include "LogosInfo.h"
#include "src/logfile_support.h"
#include "zeltools/cases_support.h"

using namespace Vantrel;
using ::logfile_support::TempDir;

TEST(ConfigFileAccessTest, RefusalTable) {
  for (const cases::Fields& c : cases::read("src/cases/config_refusal.txt")) {
    SCOPED_TRACE(c[5]);
    struct stat file = {}, dir = {};
    file.st_mode = static_cast<mode_t>(std::stoul(c[0], nullptr, 8));
    file.st_uid = static_cast<uid_t>(std::stoul(c[1]));
    dir.st_mode = static_cast<mode_t>(std::stoul(c[2], nullptr, 8));
    dir.st_uid = static_cast<uid_t>(std::stoul(c[3]));
    EXPECT_EQ(ConfigFileAccess::refusal(file, dir, static_cast<uid_t>(std::stoul(c[4]))), c[5]);
  }
}

TEST(ConfigFileAccessTest, RefusedFilesAreNotOpenedAndSaidOnce) {
  for (const cases::Fields& c : cases::read("src/config/cases/config_open.txt")) {
    SCOPED_TRACE(c[0]);
    TempDir dir;
    const std::string path = dir.path + "/x.ini";
    { std::ofstream(path) << "active = true;\n"; }
    ::chmod(path.c_str(), 0644);
    ASSERT_EQ(std::system(("cd " + dir.path + " && " + c[0]).c_str()), 0);
    ::testing::internal::CaptureStderr();
    const int first = ConfigFileAccess::open_checked(path);
    const int second = ConfigFileAccess::open_checked(path);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const bool accepted = c[1].empty();
    EXPECT_EQ(accepted ? ::fcntl(first, F_GETFD) & FD_CLOEXEC : first, accepted ? FD_CLOEXEC : -1);
    EXPECT_EQ(second >= 0, accepted);
    ::close(first);
    ::close(second);
    EXPECT_EQ(said, accepted || c[1] == "-"
                        ? ""
                        : "vantrel: configuration file " + path + " not read: " + c[1] + "\n")
        << "one line, the first time only";
  }
}

TEST(ConfigFileAccessTest, RefusedFileLeavesTheSettingsAsTheyWere) {
  TempDir dir;
  const std::string path = dir.path + "/x.ini", marker = dir.path + "/ran";
  { std::ofstream(path) << "system(\"touch " << marker << "\");\nactive = true;\nsize = 77;\n"; }
  EditableConfig settings(LogosInfo("x", "log", dir.path, path), true, SimpleTime::Minute);
  Config record;
  ::testing::internal::CaptureStderr();
  // Per mode: read or not, active, size, and whether the file's commands ran.
  for (const auto& [mode, expected] :
       {std::pair<mode_t, const char*>{0666, "0 0 10000 0"}, {0644, "1 1 77 1"}}) {
    ::chmod(path.c_str(), mode);
    const bool read = settings.reload(record);
    EXPECT_EQ(std::to_string(read) + " " + std::to_string(record.active) + " " +
                  std::to_string(record.size) + " " +
                  std::to_string(!::access(marker.c_str(), F_OK)),
              expected);
  }
  ::testing::internal::GetCapturedStderr();
}

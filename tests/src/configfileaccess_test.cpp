// The configuration file runs only when nobody but root and the host's user
// can have written it: each refusal leaves the settings as they were and is
// said once on standard error. The tests run as root.
#include "ConfigFileAccess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "EditableConfig.h"
#include "LogosInfo.h"
#include "src/logfile_support.h"

namespace Vantrel {
namespace {

using ::logfile_support::TempDir;

struct stat status(mode_t mode, uid_t uid) {
  struct stat s = {};
  s.st_mode = mode;
  s.st_uid = uid;
  return s;
}

TEST(ConfigFileAccessTest, RefusalTable) {
  const struct {
    struct stat file, dir;
    uid_t euid;
    const char* reason;
  } cases[] = {
      {status(S_IFREG | 0644, 0), status(S_IFDIR | 0755, 0), 0, ""},
      {status(S_IFREG | 0600, 1000), status(S_IFDIR | 0700, 1000), 1000, ""},
      {status(S_IFREG | 0644, 0), status(S_IFDIR | 01777, 0), 1000, ""},
      {status(S_IFREG | 0644, 1000), status(S_IFDIR | 0755, 0), 0,
       "owned by uid 1000, not by root or uid 0"},
      {status(S_IFREG | 0664, 0), status(S_IFDIR | 0755, 0), 0, "writable by group or others"},
      {status(S_IFREG | 0646, 0), status(S_IFDIR | 0755, 0), 0, "writable by group or others"},
      {status(S_IFREG | 0644, 0), status(S_IFDIR | 0777, 0), 0, "in a directory others can write"},
      {status(S_IFIFO | 0644, 0), status(S_IFDIR | 0755, 0), 0, "not a regular file"},
      {status(S_IFDIR | 0755, 0), status(S_IFDIR | 0755, 0), 0, "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(ConfigFileAccess::refusal(c.file, c.dir, c.euid), c.reason);
  }
}

TEST(ConfigFileAccessTest, RefusedFilesAreNotOpenedAndSaidOnce) {
  const struct {
    const char* what;
    void (*change)(const std::string& dir, const std::string& path);  // of a good x.ini
    const char* reason;  // "" for accepted, nullptr for missing and silent
  } cases[] = {
      {"good file", [](const std::string&, const std::string&) {}, ""},
      {"missing", [](const std::string&, const std::string& p) { std::remove(p.c_str()); },
       nullptr},
      {"group-writable", [](const std::string&, const std::string& p) { ::chmod(p.c_str(), 0620); },
       "writable by group or others"},
      {"another user's",
       [](const std::string&, const std::string& p) { ASSERT_EQ(::chown(p.c_str(), 65534, 0), 0); },
       "owned by uid 65534, not by root or uid 0"},
      {"FIFO",
       [](const std::string&, const std::string& p) {
         std::remove(p.c_str());
         ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
       },
       "not a regular file"},
      {"symbolic link",
       [](const std::string& d, const std::string& p) {
         ASSERT_EQ(std::rename(p.c_str(), (d + "/real.ini").c_str()), 0);
         ASSERT_EQ(::symlink((d + "/real.ini").c_str(), p.c_str()), 0);
       },
       "a symbolic link"},
      {"world-writable directory",
       [](const std::string& d, const std::string&) { ::chmod(d.c_str(), 0777); },
       "in a directory others can write"},
      {"sticky directory",
       [](const std::string& d, const std::string&) { ::chmod(d.c_str(), 01777); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.path + "/x.ini";
    { std::ofstream(path) << "active = true;\n"; }
    ::chmod(path.c_str(), 0644);
    c.change(dir.path, path);
    ::testing::internal::CaptureStderr();
    const int first = ConfigFileAccess::open_checked(path);
    const int second = ConfigFileAccess::open_checked(path);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const bool accepted = c.reason && *c.reason == '\0';
    EXPECT_EQ(accepted ? ::fcntl(first, F_GETFD) & FD_CLOEXEC : first, accepted ? FD_CLOEXEC : -1);
    EXPECT_EQ(second >= 0, accepted);
    ::close(first);
    ::close(second);
    EXPECT_EQ(said, accepted || !c.reason
                        ? ""
                        : "vantrel: configuration file " + path + " not read: " + c.reason + "\n")
        << "one line, the first time only";
    std::remove((dir.path + "/real.ini").c_str());
  }
}

TEST(ConfigFileAccessTest, RefusedFileLeavesTheSettingsAsTheyWere) {
  TempDir dir;
  const std::string path = dir.path + "/x.ini";
  const std::string marker = dir.path + "/ran";
  { std::ofstream(path) << "system(\"touch " << marker << "\");\nactive = true;\nsize = 77;\n"; }
  const LogosInfo names("x", "log", dir.path, path);
  EditableConfig settings(names, true, SimpleTime::Minute);
  Config record;
  ::chmod(path.c_str(), 0666);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(settings.reload(record));
  EXPECT_FALSE(record.active);
  EXPECT_NE(record.size, 77u);
  EXPECT_NE(::access(marker.c_str(), F_OK), 0) << "its commands did not run";
  ::chmod(path.c_str(), 0644);
  EXPECT_TRUE(settings.reload(record));
  EXPECT_TRUE(record.active);
  EXPECT_EQ(record.size, 77u);
  ::testing::internal::GetCapturedStderr();
  std::remove(marker.c_str());
}

}  // namespace
}  // namespace Vantrel

// File operations against a scratch directory, and their failures through the
// system-call seam.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ZelTools/Portable.h"
#include "zeltools/portable/SystemCalls.h"

namespace {

namespace Portable = ZelTools::Portable;
namespace System = ZelTools::Portable::System;

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel_file_ops_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream out(path(name), std::ios::binary);
    out << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

TEST_F(FileOpsTest, ExistsFile) {
  write("plain", "x");
  write("unreadable", "x");
  ASSERT_EQ(chmod(path("unreadable").c_str(), 0), 0);
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_TRUE(Portable::exists_file(path("plain")));
  EXPECT_FALSE(Portable::exists_file(path("missing")));
  EXPECT_FALSE(Portable::exists_file(dir_)) << "a directory is not a file";
  EXPECT_TRUE(Portable::exists_file(path("fifo"))) << "and must not block";
  EXPECT_FALSE(Portable::exists_file(""));
  if (geteuid() != 0) {  // root reads everything
    EXPECT_FALSE(Portable::exists_file(path("unreadable")));
  }
}

TEST_F(FileOpsTest, CopyFileCopiesContentAndPermissions) {
  std::string content(200 * 1024, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  write("from", content);
  ASSERT_EQ(chmod(path("from").c_str(), 0640), 0);
  ASSERT_TRUE(Portable::copy_file(path("from"), path("to")));
  EXPECT_EQ(read("to"), content);
  struct stat info;
  ASSERT_EQ(stat(path("to").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(FileOpsTest, CopyFileRefusesExistingTarget) {
  write("from", "new");
  write("to", "old");
  EXPECT_FALSE(Portable::copy_file(path("from"), path("to")));
  EXPECT_EQ(read("to"), "old");
}

TEST_F(FileOpsTest, CopyFileFailures) {
  write("from", "x");
  EXPECT_FALSE(Portable::copy_file(path("missing"), path("to")));
  EXPECT_FALSE(Portable::exists_file(path("to")));
  EXPECT_FALSE(Portable::copy_file(dir_, path("to"))) << "a directory is not copied";
  EXPECT_FALSE(Portable::exists_file(path("to")));
  EXPECT_FALSE(Portable::copy_file(path("from"), path("no/such/dir")));
}

TEST_F(FileOpsTest, CopyFileRemovesPartialTargetWhenWritingFails) {
  write("from", "some content");
  System::Calls failing = System::real_calls();
  failing.write = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  {
    System::ScopedCalls scope(failing);
    EXPECT_FALSE(Portable::copy_file(path("from"), path("to")));
  }
  EXPECT_FALSE(Portable::exists_file(path("to")));
}

TEST_F(FileOpsTest, CopyFileRetriesShortAndInterruptedWrites) {
  write("from", "abcdefghij");
  static int calls;
  calls = 0;
  System::Calls stingy = System::real_calls();
  stingy.write = [](int fd, const void* data, std::size_t count) -> ssize_t {
    if (++calls % 2 == 0) {
      errno = EINTR;
      return -1;
    }
    return ::write(fd, data, count < 3 ? count : 3);
  };
  {
    System::ScopedCalls scope(stingy);
    EXPECT_TRUE(Portable::copy_file(path("from"), path("to")));
  }
  EXPECT_EQ(read("to"), "abcdefghij");
}

TEST_F(FileOpsTest, CopyFileReportsFailedClose) {
  write("from", "x");
  static int closes;
  closes = 0;
  System::Calls failing = System::real_calls();
  // The first close is the target's: the source stays open until the end.
  failing.close = [](int fd) -> int {
    ::close(fd);
    if (++closes == 1) {
      errno = EIO;
      return -1;
    }
    return 0;
  };
  {
    System::ScopedCalls scope(failing);
    EXPECT_FALSE(Portable::copy_file(path("from"), path("to")));
  }
  EXPECT_FALSE(Portable::exists_file(path("to")));
}

TEST_F(FileOpsTest, UnlinkAndMkdirReportSuccess) {
  write("file", "x");
  EXPECT_TRUE(Portable::unlink(path("file")));
  EXPECT_FALSE(Portable::exists_file(path("file")));
  EXPECT_FALSE(Portable::unlink(path("file")));

  mode_t old_mask = umask(022);
  EXPECT_TRUE(Portable::mkdir(path("sub")));
  umask(old_mask);
  struct stat info;
  ASSERT_EQ(stat(path("sub").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0755u) << "full mode less the umask";
  EXPECT_FALSE(Portable::mkdir(path("sub"))) << "already there";
  EXPECT_FALSE(Portable::mkdir(path("a/b"))) << "no parents are made";
  EXPECT_FALSE(Portable::unlink(path("sub"))) << "unlink does not remove directories";
}

TEST_F(FileOpsTest, IfstreamReadsLikeTheStandardStream) {
  write("config", "int size = 3;\nsecond line\n");
  Portable::ifstream in(path("config").c_str());
  ASSERT_TRUE(in.is_open());
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "int size = 3;");

  Portable::ifstream missing(path("missing").c_str());
  EXPECT_FALSE(missing.is_open());
  EXPECT_TRUE(missing.fail());
}

}  // namespace

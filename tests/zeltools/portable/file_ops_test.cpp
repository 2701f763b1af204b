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
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ostringstream text;
    text << std::ifstream(path(name), std::ios::binary).rdbuf();
    return text.str();
  }
  // Copies "from" to "to" with the given calls in place.
  bool copy_with(const System::Calls& calls) const {
    System::ScopedCalls scope(calls);
    return Portable::copy_file(path("from"), path("to"));
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

TEST_F(FileOpsTest, CopyFileFailures) {
  write("from", "new");
  EXPECT_FALSE(Portable::copy_file(path("missing"), path("to")));
  EXPECT_FALSE(Portable::copy_file(dir_, path("to"))) << "a directory is not copied";
  EXPECT_FALSE(Portable::exists_file(path("to")));
  EXPECT_FALSE(Portable::copy_file(path("from"), path("no/such/dir")));
  write("to", "old");
  EXPECT_FALSE(Portable::copy_file(path("from"), path("to"))) << "an existing target stays";
  EXPECT_EQ(read("to"), "old");
}

TEST_F(FileOpsTest, FailedWriteOrCloseRemovesThePartialTarget) {
  write("from", "some content");
  System::Calls failing_write = System::real_calls();
  failing_write.write = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  EXPECT_FALSE(copy_with(failing_write));
  EXPECT_FALSE(Portable::exists_file(path("to")));

  static int closes;
  closes = 0;
  System::Calls failing_close = System::real_calls();
  failing_close.close = [](int fd) -> int {  // the target is closed first
    ::close(fd);
    errno = EIO;
    return ++closes == 1 ? -1 : 0;
  };
  EXPECT_FALSE(copy_with(failing_close));
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
  EXPECT_TRUE(copy_with(stingy));
  EXPECT_EQ(read("to"), "abcdefghij");
}

TEST_F(FileOpsTest, UnlinkAndMkdirReportSuccess) {
  write("file", "x");
  EXPECT_TRUE(Portable::unlink(path("file")));
  EXPECT_FALSE(Portable::unlink(path("file")));

  mode_t old_mask = umask(022);
  EXPECT_TRUE(Portable::mkdir(path("sub")));
  umask(old_mask);
  struct stat info;
  ASSERT_EQ(stat(path("sub").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u) << "full mode less the umask";
  EXPECT_FALSE(Portable::mkdir(path("sub"))) << "already there";
  EXPECT_FALSE(Portable::mkdir(path("a/b"))) << "no parents are made";
  EXPECT_FALSE(Portable::unlink(path("sub"))) << "unlink does not remove directories";
}

}  // namespace

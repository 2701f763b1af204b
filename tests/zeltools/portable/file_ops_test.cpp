// File operations in a scratch directory, and failures through the call seam.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  mode_t mode(const std::string& name) const {
    struct stat info {};
    EXPECT_EQ(stat(path(name).c_str(), &info), 0) << name;
    return info.st_mode & 07777;
  }

  std::string dir_;
};

TEST_F(FileOpsTest, ExistsFileUnlinkAndMkdir) {
  write("plain", "x");
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_TRUE(Portable::exists_file(path("plain")));
  EXPECT_TRUE(Portable::exists_file(path("fifo"))) << "and must not block";
  for (const std::string& no : {path("missing"), dir_, std::string()})
    EXPECT_FALSE(Portable::exists_file(no)) << no;
  EXPECT_TRUE(Portable::unlink(path("plain")));
  EXPECT_FALSE(Portable::unlink(path("plain")));
  const mode_t old_mask = umask(022);
  EXPECT_TRUE(Portable::mkdir(path("sub")));
  umask(old_mask);
  EXPECT_EQ(mode("sub"), 0755u) << "full mode less the umask";
  EXPECT_FALSE(Portable::mkdir(path("sub"))) << "already there";
}

TEST_F(FileOpsTest, CopyFileCopiesContentAndPermissionsOrFails) {
  std::string content(200 * 1024, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  write("from", content);
  ASSERT_EQ(chmod(path("from").c_str(), 0640), 0);
  EXPECT_FALSE(Portable::copy_file(path("missing"), path("to")));
  EXPECT_FALSE(Portable::copy_file(dir_, path("to"))) << "a directory is not copied";
  EXPECT_FALSE(Portable::exists_file(path("to")));
  ASSERT_TRUE(Portable::copy_file(path("from"), path("to")));
  EXPECT_EQ(read("to"), content);
  EXPECT_EQ(mode("to"), 0640u);
  write("from", "new");
  EXPECT_FALSE(Portable::copy_file(path("from"), path("to"))) << "an existing target stays";
  EXPECT_EQ(read("to"), content);
}

// Writes fail (the partial target goes), come short or are interrupted
// (retried), or the target's close fails (the target goes).
int calls;
TEST_F(FileOpsTest, CopyFileThroughFailingCalls) {
  write("from", "abcdefghij");
  System::Calls failing_write = System::real_calls(), stingy = failing_write,
                failing_close = failing_write;
  failing_write.write = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  stingy.write = [](int fd, const void* data, std::size_t count) -> ssize_t {
    errno = EINTR;
    return ++calls % 2 == 0 ? -1 : ::write(fd, data, count < 3 ? count : 3);
  };
  failing_close.close = [](int fd) -> int {  // the target is closed first
    ::close(fd);
    errno = EIO;
    return ++calls == 1 ? -1 : 0;
  };
  for (const System::Calls* seam : {&failing_write, &failing_close, &stingy}) {
    calls = 0;
    System::ScopedCalls scope(*seam);
    const bool copied = Portable::copy_file(path("from"), path("to"));
    EXPECT_EQ(copied, seam == &stingy);
    EXPECT_EQ(Portable::exists_file(path("to")), copied);
    EXPECT_EQ(read("to"), copied ? "abcdefghij" : "");
  }
}

}  // namespace

// The text log file's stream: whole records however long, one write per
// flush, failures that cost records but leave the stream usable after a
// re-open, and appending after a close.
#include "LogOfstream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <fstream>
#include <sstream>
#include <string>

#include "src/logfile_support.h"

namespace Vantrel {
namespace {

using ::logfile_support::TempDir;

using logfile_support::read_file;

TEST(LogOfstreamTest, LongRecordIsWrittenWholeAndReOpenAppends) {
  TempDir dir;
  const std::string path = dir.path + "/a.log";
  const std::string long_text(20000, 'x');
  LogOfstream stream(path);
  ASSERT_TRUE(stream.file_open());
  stream << "head|" << long_text << std::endl;
  EXPECT_EQ(read_file(path), "head|" + long_text + "\n");  // on disk at the flush
  stream.close();
  EXPECT_FALSE(stream.file_open());
  stream.re_open();
  stream << "next" << std::endl;
  EXPECT_EQ(read_file(path), "head|" + long_text + "\nnext\n");
  LogOfstream again(path);  // a new stream never takes over an existing file
  EXPECT_FALSE(again.file_open());
  EXPECT_TRUE(again.name_taken());
  EXPECT_EQ(read_file(path), "head|" + long_text + "\nnext\n");
}

TEST(LogOfstreamTest, WhatIsPendingIsWrittenAtTheEnd) {
  TempDir dir;
  const std::string path = dir.path + "/b.log";
  {
    LogOfstream stream(path);
    stream << "unflushed";
  }
  EXPECT_EQ(read_file(path), "unflushed");
}

TEST(LogOfstreamTest, FailedWriteFailsTheStreamAndDropsThePendingText) {
  TempDir dir;
  LogOfstream stream(dir.path + "/full.log");
  ASSERT_TRUE(stream.file_open());
  // A file size limit of 0 makes every write fail (EFBIG) like a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 0;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  stream << "lost" << std::endl;
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_TRUE(stream.bad());
  stream.close();
  stream.re_open();  // a successful open clears the failure
  EXPECT_TRUE(stream.good());
}

TEST(LogOfstreamTest, FileThatCannotOpenLeavesAFailedStream) {
  LogOfstream stream("/nonexistent-dir/c.log");
  EXPECT_FALSE(stream.file_open());
  EXPECT_TRUE(stream.fail());
  stream << "discarded" << std::endl;  // must not crash or throw
}

TEST(LogOfstreamTest, FileIsNotInheritedByChildProcesses) {
  TempDir dir;
  LogOfstream stream(dir.path + "/d.log");
  stream << "x" << std::endl;
  int inherited = 0;
  for (int fd = 3; fd < 256; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) {
      char link[64];
      char target[512] = {};
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
      if (::readlink(link, target, sizeof target - 1) > 0 &&
          std::string(target).find("d.log") != std::string::npos)
        ++inherited;
    }
  }
  EXPECT_EQ(inherited, 0);
}

}  // namespace
}  // namespace Vantrel

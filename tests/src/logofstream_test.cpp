// The text log file's stream: whole records however long, written at the
// flush, and failures that cost records but leave the stream usable after a
// re-open. (Its file's mode, close-on-exec flag, refusal of a taken name and
// appending after a close: ownfile_test.)
#include "LogOfstream.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>

#include "src/logfile_support.h"

namespace Vantrel {
namespace {

using logfile_support::read_file;

TEST(LogOfstreamTest, WholeRecordsOnDiskAtTheFlushTheRestAtTheEnd) {
  logfile_support::TempDir dir;
  const std::string path = dir.path + "/a.log", first = "head|" + std::string(20000, 'x') + "\n";
  {
    LogOfstream stream(path);
    ASSERT_TRUE(stream.file_open());
    stream << "head|" << std::string(20000, 'x') << std::endl;
    EXPECT_EQ(read_file(path), first);
    stream << "pending";
  }
  EXPECT_EQ(read_file(path), first + "pending");
}

// A file size limit of 0 makes every write fail (EFBIG) like a full disk:
// the stream fails and drops the text; a successful re-open clears the
// failure. A file that cannot open leaves a failed stream that takes text
// without harm.
TEST(LogOfstreamTest, FailuresLeaveAUsableStream) {
  logfile_support::TempDir dir;
  const std::string path = dir.path + "/full.log";
  LogOfstream stream(path);
  ASSERT_TRUE(stream.file_open());
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
  stream.re_open();
  EXPECT_TRUE(stream.good());
  stream << "kept" << std::endl;
  EXPECT_EQ(read_file(path), "kept\n");
  LogOfstream nowhere("/nonexistent-dir/c.log");
  EXPECT_FALSE(nowhere.file_open());
  EXPECT_TRUE(nowhere.fail());
  nowhere << "discarded" << std::endl;
}

}  // namespace
}  // namespace Vantrel

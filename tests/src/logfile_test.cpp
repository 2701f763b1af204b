// Log file management: names, opening on the first record, closing after
// inactive records, rotation with the previous file kept or unlinked, the
// keep-long rule and the debug lines.
#include "LogFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "DebugTrace.h"
#include "LogFileLog.h"
#include "src/logfile_records.h"

namespace Vantrel {
namespace {

using namespace ::logfile_support;
using ::testing::ElementsAre;
using Files = std::vector<std::vector<std::string>>;

class ProbeLogFile : public LogFileLog {
 public:
  using LogFileLog::LogFileLog;
  using LogFileLog::previous;
  using LogFileLog::stream;
};

// A log file "db" in a fresh directory, on a clock that moves only when a
// record says so; records are "r<rank>".
class LogFileTest : public ::testing::Test {
 protected:
  void write(unsigned rank, bool active, std::uint32_t size, bool keep, bool advance = true) {
    record.config.active = active;
    record.config.size = size;
    record.config.keep = keep;
    write_record(file, record, rank, "r" + std::to_string(rank), advance);
  }
  TestClock clock;
  TempDir dir;
  Names names{dir.path};
  ProbeLogFile file{names};
  RecordCase record;
};

TEST(LogFileNames, FileNameTable) {
  const SimpleTime::PhysicalTime t =
      SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  const struct {
    const char *process, *destination, *ext, *expected;
  } cases[] = {
      {"server", "db", "log", "server_db_4242_2007_10_18_21_21_07_045_trace.log"},
      {"server", "server", "log", "server_4242_2007_10_18_21_21_07_045_trace.log"},
      {"server", "db", "xml", "server_db_4242_2007_10_18_21_21_07_045_trace.xml"},
      {"", "Vantrel", "log", "_Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
      // Names that could leave the directory or hide the file are replaced.
      {"server", "../../etc/x", "log", "server_Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
      {"..", "db", "log", "Vantrel_db_4242_2007_10_18_21_21_07_045_trace.log"},
      {".hidden", ".hidden", "log", "Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LogFileNames::file_name(c.process, c.destination, 4242, t, c.ext), c.expected);
  const std::string process = ZelTools::Portable::Process().name();
  const std::string tail = std::to_string(::getpid()) + "_2007_10_18_21_21_07_045_trace.log";
  EXPECT_EQ(LogFileNames::file_path(Names("/var/log/app/"), t),
            "/var/log/app/" + process + "_db_" + tail);
  EXPECT_EQ(LogFileNames::file_path(Names(".", process), t), "./" + process + "_" + tail);
}

class Rotation : public LogFileTest,
                 public ::testing::WithParamInterface<std::tuple<std::uint32_t, bool, Files>> {};

TEST_P(Rotation, KeepsOrUnlinksTheFileBeforeThePrevious) {
  const auto& [size, keep, expected] = GetParam();
  for (unsigned rank = 1; rank <= 7; ++rank) write(rank, true, size, keep);
  EXPECT_EQ(dir.texts_per_file(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    LogFileTest, Rotation,
    ::testing::Values(
        std::make_tuple(3u, false, Files{{"r4", "r5", "r6"}, {"r7"}}),
        std::make_tuple(3u, true, Files{{"r1", "r2", "r3"}, {"r4", "r5", "r6"}, {"r7"}}),
        std::make_tuple(1u, false, Files{{"r7"}}),
        std::make_tuple(0u, true, Files{{"r1"}, {"r2"}, {"r3"}, {"r4"}, {"r5"}, {"r6"}, {"r7"}})));

TEST_F(LogFileTest, FailedUnlinkIsIgnored) {
  write(1, true, 1, false);
  std::remove(file.previous.c_str());  // the file to unlink is already gone
  write(2, true, 1, false);
  write(3, true, 1, false);
  EXPECT_EQ(dir.texts_per_file(), (Files{{"r3"}}));  // the second file was unlinked in turn
  EXPECT_EQ(file.previous, dir.path + "/" + dir.files().back());
}

// The debug lines without their prefix.
std::vector<std::string> debug_texts(const std::string& output) {
  const std::regex prefix(R"re(^"\.\./src/\.\\Vantrel", line \d+: \(Thr-\d+\): (.*)$)re");
  std::vector<std::string> texts;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    texts.push_back(std::regex_match(line, match, prefix) ? match[1].str() : "bad: " + line);
  }
  return texts;
}

// No file before the first record; an inactive record closes the file and
// the next one appends to it.
TEST_F(LogFileTest, DebugLinesOfOpeningClosingAndRotation) {
  EXPECT_TRUE(dir.files().empty());
  Debug::echo_flag.store(true);
  ::testing::internal::CaptureStdout();
  write(1, true, 2, false);
  const std::string a = file.stream->name;
  write(2, true, 2, false);
  write(3, false, 2, false);
  const std::string b = file.stream->name;
  write(4, true, 2, false);
  const std::string output = ::testing::internal::GetCapturedStdout();
  Debug::echo_flag.store(false);
  EXPECT_EQ(a, dir.path + "/" + ZelTools::Portable::Process().name() + "_db_" +
                   std::to_string(::getpid()) + "_2023_11_14_22_13_20_000_trace.log");
  EXPECT_EQ(dir.texts_per_file(), (Files{{"r3", "r4"}}));
  const std::string too_many =
      "LogFile::possibly_reset (): one trace message too many, size=2, "
      "max_size=2";
  EXPECT_THAT(
      debug_texts(output),
      ElementsAre(
          "LogOfstream::open '" + a + "'", "LogFile::do_header_file (): opened '" + a + "'",
          "LogOfstream::re_open '" + a + "'", "LogFile::do_header_file (): re-opened '" + a + "'",
          too_many, "LogOfstream::open '" + b + "'",
          "LogFile::do_header_file (): opened '" + b + "'", "LogOfstream::close '" + b + "'",
          "LogFile::do_footer_file (): close because config is not active",
          "LogOfstream::re_open '" + b + "'", "LogFile::do_header_file (): re-opened '" + b + "'",
          too_many, "LogFile::possibly_reset (): unlinking '" + a + "'"));
}

// Records that end within the millisecond their file was named in stay in
// that file, whatever the size; the first to end after the clock moves on
// is the file's last.
TEST_F(LogFileTest, KeepLongWhileTheClockStands) {
  Debug::echo_flag.store(true);
  ::testing::internal::CaptureStdout();
  for (unsigned rank = 1; rank <= 5; ++rank) write(rank, true, 1, true, false);
  const std::string kept = file.stream->name;
  write(6, true, 1, true);
  write(7, true, 1, true, false);
  const std::vector<std::string> lines = debug_texts(::testing::internal::GetCapturedStdout());
  Debug::echo_flag.store(false);
  EXPECT_EQ(dir.texts_per_file(), (Files{{"r1", "r2", "r3", "r4", "r5", "r6"}, {"r7"}}));
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "LogFile::possibly_reset (): keep long '" + kept + "'"),
            5);
}

}  // namespace
}  // namespace Vantrel

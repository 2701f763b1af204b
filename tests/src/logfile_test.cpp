// Log file management: names, opening on the first record, closing after
// inactive records, rotation with the previous file kept or unlinked, the
// keep-long rule, screen output and the debug lines.
#include "LogFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "DebugTrace.h"
#include "DeferredUnlink.h"
#include "LogFileLog.h"
#include "src/logfile_support.h"

namespace Vantrel {
namespace {

using ::logfile_support::TempDir;
using ::logfile_support::TestClock;
using ::testing::ElementsAre;

class Names : public DeviceInfo {
 public:
  Names(std::string name, std::string dir) : name_(std::move(name)), dir_(std::move(dir)) {}
  std::string name() const override { return name_; }
  std::string logext() const override { return "log"; }
  std::string logdir() const override { return dir_; }
  std::string configfile() const override { return "unused.ini"; }

 private:
  std::string name_;
  std::string dir_;
};

// Exposes the rotation state.
class ProbeLogFile : public LogFileLog {
 public:
  using LogFileLog::count;
  using LogFileLog::has_previous;
  using LogFileLog::LogFileLog;
  using LogFileLog::previous;
  using LogFileLog::stream;
};

const Importance medium(2, 0);

Config settings(bool active, std::uint32_t size, bool keep) {
  Config config;
  config.active = active;
  config.size = size;
  config.keep = keep;
  return config;
}

// One record "r<rank>". With `pause` the clock advances during the record, so
// that a full file is always replaced (the keep-long rule does not apply).
void write_record(LogFile& file, const Config& config, unsigned rank, bool pause = true) {
  const RecordInputs inputs{&medium, 0, &config, nullptr};
  std::ostream* out = file.begin_record(inputs, rank);
  ASSERT_NE(out, nullptr);
  *out << 'r' << rank;
  if (pause) TestClock::advance(1);
  file.end_record(inputs, rank);
  LogFileSteps::unlink_kept();  // what the logger does after the lock
}

// The log file cases run on a clock that moves only when a record says so.
class LogFileTest : public ::testing::Test {
 protected:
  TestClock clock;
};

TEST(LogFileNames, FileNameTable) {
  const SimpleTime::PhysicalTime t =
      SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  struct Case {
    const char* process;
    const char* destination;
    const char* ext;
    const char* expected;
  };
  const Case cases[] = {
      {"server", "db", "log", "server_db_4242_2007_10_18_21_21_07_045_trace.log"},
      {"server", "server", "log", "server_4242_2007_10_18_21_21_07_045_trace.log"},
      {"server", "db", "xml", "server_db_4242_2007_10_18_21_21_07_045_trace.xml"},
      {"", "Vantrel", "log", "_Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
      // Names that could leave the directory or hide the file are replaced.
      {"server", "../../etc/x", "log", "server_Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
      {"..", "db", "log", "Vantrel_db_4242_2007_10_18_21_21_07_045_trace.log"},
      {".hidden", ".hidden", "log", "Vantrel_4242_2007_10_18_21_21_07_045_trace.log"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LogFileNames::file_name(c.process, c.destination, 4242, t, c.ext), c.expected);
}

TEST(LogFileNames, PathJoinsDirectoryAndName) {
  const SimpleTime::PhysicalTime t =
      SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  const std::string process = ZelTools::Portable::Process().name();
  const std::string pid = std::to_string(ZelTools::Portable::Process().id());
  EXPECT_EQ(LogFileNames::file_path(Names("db", "/var/log/app/"), t),
            "/var/log/app/" + process + "_db_" + pid + "_2007_10_18_21_21_07_045_trace.log");
  EXPECT_EQ(LogFileNames::file_path(Names(process, "."), t),
            "./" + process + "_" + pid + "_2007_10_18_21_21_07_045_trace.log");
}

TEST_F(LogFileTest, FirstRecordCreatesNamedFile) {
  TempDir dir;
  const Names names("db", dir.path);
  { ProbeLogFile unused(names); }
  EXPECT_TRUE(dir.files().empty()) << "no record, no file";
  ProbeLogFile file(names);
  write_record(file, settings(true, 100, false), 1);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 1u);
  const std::string base = ZelTools::Portable::Process().name() + "_db_" +
                           std::to_string(::getpid()) +
                           R"(_\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d_\d{3}_trace\.log)";
  EXPECT_TRUE(std::regex_match(files[0], std::regex(base))) << files[0];
  EXPECT_THAT(dir.texts(files[0]), ElementsAre("r1"));
}

TEST_F(LogFileTest, InactiveRecordClosesAndNextAppends) {
  TempDir dir;
  const Names names("db", dir.path);
  ProbeLogFile file(names);
  write_record(file, settings(true, 100, false), 1);
  write_record(file, settings(false, 100, false), 2);  // an assert message, say
  ASSERT_NE(file.stream, nullptr);
  EXPECT_FALSE(file.stream->file_open());
  write_record(file, settings(false, 100, false), 3);
  write_record(file, settings(true, 100, false), 4);
  EXPECT_TRUE(file.stream->file_open());
  EXPECT_EQ(file.count, 4u);
  ASSERT_EQ(dir.files().size(), 1u);
  EXPECT_THAT(dir.texts(dir.files()[0]), ElementsAre("r1", "r2", "r3", "r4"));
}

TEST_F(LogFileTest, RotationKeepsOrUnlinksTheFileBeforeThePrevious) {
  using Files = std::vector<std::vector<std::string>>;
  const struct {
    std::uint32_t size;
    bool keep;
    Files expected;
  } cases[] = {
      {3, false, {{"r4", "r5", "r6"}, {"r7"}}},
      {3, true, {{"r1", "r2", "r3"}, {"r4", "r5", "r6"}, {"r7"}}},
      {1, false, {{"r7"}}},
      {0, true, {{"r1"}, {"r2"}, {"r3"}, {"r4"}, {"r5"}, {"r6"}, {"r7"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.keep ? " keep" : ""));
    TempDir dir;
    const Names names("db", dir.path);
    ProbeLogFile file(names);
    for (unsigned rank = 1; rank <= 7; ++rank)
      write_record(file, settings(true, c.size, c.keep), rank);
    Files found;
    for (const std::string& name : dir.files()) found.push_back(dir.texts(name));
    EXPECT_EQ(found, c.expected);
  }
}

TEST_F(LogFileTest, FailedUnlinkIsIgnored) {
  TempDir dir;
  const Names names("db", dir.path);
  ProbeLogFile file(names);
  const Config config = settings(true, 1, false);
  write_record(file, config, 1);
  std::remove(file.previous.c_str());  // the file to unlink is already gone
  write_record(file, config, 2);
  write_record(file, config, 3);
  EXPECT_EQ(dir.all_texts(), std::vector<std::string>{"r3"});  // B was unlinked in turn
  EXPECT_EQ(file.previous, dir.path + "/" + dir.files().back());
}

// The debug lines without their prefix, and the prefix itself.
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

TEST_F(LogFileTest, DebugLinesOfOpeningClosingAndRotation) {
  TempDir dir;
  const Names names("db", dir.path);
  ProbeLogFile file(names);
  Debug::echo_flag.store(true);
  ::testing::internal::CaptureStdout();
  write_record(file, settings(true, 2, false), 1);
  const std::string a = file.stream->name;
  write_record(file, settings(true, 2, false), 2);
  write_record(file, settings(false, 2, false), 3);
  const std::string b = file.stream->name;
  write_record(file, settings(true, 2, false), 4);
  const std::string output = ::testing::internal::GetCapturedStdout();
  Debug::echo_flag.store(false);
  EXPECT_THAT(
      debug_texts(output),
      ElementsAre(
          "LogOfstream::open '" + a + "'", "LogFile::do_header_file (): opened '" + a + "'",
          "LogOfstream::re_open '" + a + "'", "LogFile::do_header_file (): re-opened '" + a + "'",
          "LogFile::possibly_reset (): one trace message too many, size=2, "
          "max_size=2",
          "LogOfstream::open '" + b + "'", "LogFile::do_header_file (): opened '" + b + "'",
          "LogOfstream::close '" + b + "'",
          "LogFile::do_footer_file (): close because config is not active",
          "LogOfstream::re_open '" + b + "'", "LogFile::do_header_file (): re-opened '" + b + "'",
          "LogFile::possibly_reset (): one trace message too many, size=2, "
          "max_size=2",
          "LogFile::possibly_reset (): unlinking '" + a + "'"));
}

// Records that end within the millisecond their file was named in stay in
// that file, whatever the size; the first to end after the clock moves on
// is the file's last.
TEST_F(LogFileTest, KeepLongWhileTheClockStands) {
  TempDir dir;
  const Names names("db", dir.path);
  ProbeLogFile file(names);
  std::vector<std::string> expected;
  Debug::echo_flag.store(true);
  ::testing::internal::CaptureStdout();
  for (unsigned rank = 1; rank <= 5; ++rank) {
    write_record(file, settings(true, 1, true), rank, false);
    expected.push_back("r" + std::to_string(rank));
  }
  const std::string kept = file.stream->name;
  write_record(file, settings(true, 1, true), 6);  // the clock moves on
  write_record(file, settings(true, 1, true), 7, false);
  const std::string output = ::testing::internal::GetCapturedStdout();
  Debug::echo_flag.store(false);
  expected.push_back("r6");
  ASSERT_EQ(dir.files().size(), 2u);
  EXPECT_EQ(dir.texts(dir.files()[0]), expected);
  EXPECT_THAT(dir.texts(dir.files()[1]), ElementsAre("r7"));
  const std::vector<std::string> lines = debug_texts(output);
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "LogFile::possibly_reset (): keep long '" + kept + "'"),
            5);
}

}  // namespace
}  // namespace Vantrel

// Log file management: names, opening on the first record, closing after
// inactive records, rotation with the previous file kept or unlinked, the
// keep-long rule and the debug lines; and, through the whole message path in
// a fresh process, the default settings' close and append and the live ids.
#include "LogFile.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "DebugTrace.h"
#include "LogFileLog.h"
#include "src/logfile_records.h"
#include "zeltools/cases_support.h"

namespace Vantrel {
namespace {

using namespace ::logfile_support;

// A log file "db" in a fresh directory, on a clock that moves only when a
// record says so; records are "r<rank>".
struct TextLog {
  void write(unsigned rank, bool active, std::uint32_t size, bool keep, bool advance = true) {
    record.config.active = active;
    record.config.size = size;
    record.config.keep = keep;
    write_record(file, record, rank, "r" + std::to_string(rank), advance);
  }
  TestClock clock;
  TempDir dir;
  Names names{dir.path};
  LogFileLog file{names};
  RecordCase record;
};

// The debug lines the log file echoes while `work` runs, without their prefix.
template <typename Work>
std::vector<std::string> debug_texts(Work work) {
  Debug::echo_flag.store(true);
  ::testing::internal::CaptureStdout();
  work();
  std::istringstream in(::testing::internal::GetCapturedStdout());
  Debug::echo_flag.store(false);
  const std::regex prefix(R"re(^"\.\./src/\.\\Vantrel", line \d+: \(Thr-\d+\): (.*)$)re");
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    texts.push_back(std::regex_match(line, match, prefix) ? match[1].str() : "bad: " + line);
  }
  return texts;
}

// The whole path, with this process's name and id, is in the debug lines below.
TEST(LogFileNames, FileNames) {
  for (const cases::Fields& c : cases::read("src/cases/log_file_names.txt"))
    EXPECT_EQ(LogFileNames::file_name(c[0], c[1], 4242, RecordCase().time, c[2]), c[3]);
}

TEST(LogFileTest, RotationKeepsOrUnlinksTheFileBeforeThePrevious) {
  for (const cases::Fields& c : cases::read("src/cases/log_rotation.txt")) {
    SCOPED_TRACE(c[0] + " " + c[1] + " " + c[2]);
    TextLog log;
    const std::vector<std::string> debug = debug_texts([&] {
      for (unsigned rank = 1; rank <= 7; ++rank)
        log.write(rank, true, std::stoul(c[0]), c[1] == "1", c[2][rank - 1] == '1');
    });
    std::string files;  // as the table writes them
    for (const std::vector<std::string>& texts : log.dir.texts_per_file()) {
      if (!files.empty()) files += " /";
      for (const std::string& text : texts) files += " " + text;
    }
    EXPECT_EQ(files, " " + c[4]);
    const std::string first = log.dir.path + "/" + log.dir.files()[0];
    EXPECT_EQ(std::count(debug.begin(), debug.end(),
                         "LogFile::possibly_reset (): keep long '" + first + "'"),
              std::stol(c[3]));
  }
}

// No file before the first record; an inactive record closes the file and
// the next one appends to it. The file to unlink at the second rotation is
// already gone: the failure is ignored.
TEST(LogFileTest, DebugLinesOfOpeningClosingAndRotation) {
  TextLog log;
  EXPECT_TRUE(log.dir.files().empty());
  std::vector<std::string> files;
  const std::vector<std::string> texts = debug_texts([&] {
    for (unsigned rank = 1; rank <= 3; ++rank) log.write(rank, rank != 3, 2, false);
    files = log.dir.files();
    std::remove((log.dir.path + "/" + files.at(0)).c_str());
    log.write(4, true, 2, false);
  });
  EXPECT_EQ(files.at(0), ZelTools::Portable::Process().name() + "_db_" +
                             std::to_string(::getpid()) + "_2023_11_14_22_13_20_000_trace.log");
  EXPECT_EQ(log.dir.texts_per_file(), (std::vector<std::vector<std::string>>{{"r3", "r4"}}));
  const std::string a = log.dir.path + "/" + files[0], b = log.dir.path + "/" + files.at(1);
  std::vector<std::string> expected;
  for (const cases::Fields& row : cases::read("src/cases/logfile_debug.txt"))
    expected.push_back(std::regex_replace(std::regex_replace(row[0], std::regex("\\$A"), a),
                                          std::regex("\\$B"), b));
  EXPECT_EQ(texts, expected);
}

// Default settings pass asserts only, closing the file after each one and
// appending to it at the next (its debug lines: the test above). A record
// shows the live ids (the main thread's id is the process id) and marks the
// one written while an exception unwinds.
TEST(LogFileHost, AssertsUnderInactiveSettings) {
  TempDir dir;
  int status = 0;
  run("QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini " +
          VANTREL_TEST_HOSTS_DIR "/host_logfile_writer unwind",
      &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(dir.files().size(), 1u);
  const std::string file = dir.files()[0];
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(file, pid, std::regex(R"(_(\d+)_\d{4}_)")));
  std::ostringstream ids;
  ids << std::setw(5) << pid[1] << '|' << std::setw(4) << pid[1] << '|';
  std::vector<std::string> lines = dir.lines(file);
  for (std::string& line : lines) line.erase(0, 23);  // the time
  EXPECT_EQ(lines, (std::vector<std::string>{"|>>|A|X|" + ids.str() + " |||||||||||||||m1",
                                             "|>>|A| |" + ids.str() + " |||||||||||||||m2"}));
}

}  // namespace
}  // namespace Vantrel

// The host keeps running when its surroundings are hostile: a log directory
// that is missing, not a directory, or removed while records are written; a
// file size limit; a configuration file that is a directory, unreadable,
// huge, full of NUL bytes or nested too deep. Configuration texts that
// cannot be read make Config::parse fail cleanly with the record unchanged.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace {

using logfile_support::occurrences;
using logfile_support::run;
using logfile_support::TempDir;

const std::string host = std::string(VANTREL_TEST_HOSTS_DIR) + "/host_reliability_hostile";

// Runs a shell script (the host is $HOST in it); returns the host's output.
std::string run_script(const std::string& script, int* status) {
  const std::string command = "HOST='" + host +
                              "' QZ_TRACE_CONFIGFILE=/nonexistent/none.ini sh -c '" + script +
                              "' 2>/dev/null";
  return run(command, status);
}

std::size_t lines_in_files(const TempDir& dir) {
  std::size_t count = 0;
  for (const std::string& file : dir.files()) count += dir.lines(file).size();
  return count;
}

// --- log directories ------------------------------------------------------

TEST(HostileLogDirTest, MissingOrNotADirectoryLeavesTheHostRunning) {
  TempDir dir;
  std::ofstream(dir.path + "/plain") << "x";
  for (const std::string& logdir : {dir.path + "/missing/deeper", dir.path + "/plain/sub"}) {
    int status = -1;
    const std::string output = run_script("QZ_TRACE_LOGDIR=" + logdir + " $HOST 20", &status);
    EXPECT_EQ(status, 0) << logdir;
    EXPECT_EQ(output, "alive\n") << logdir;
  }
  EXPECT_EQ(dir.files(), std::vector<std::string>{"plain"});
}

// Every record with inactive settings re-opens its file for appending, so
// records resume in the same file's name once the directory is back.
TEST(HostileLogDirTest, RecordsResumeWhenARemovedDirectoryIsBack) {
  TempDir parent;
  const std::string logdir = parent.path + "/logs";
  ASSERT_EQ(::mkdir(logdir.c_str(), 0777), 0);
  int status = -1;
  const std::string output =
      run_script("QZ_TRACE_LOGDIR=" + logdir + " $HOST 200 & sleep 0.2; rm -rf " + logdir +
                     "; sleep 0.3; mkdir " + logdir + "; wait $!",
                 &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, "alive\n");
  TempDir back;  // removes the files below
  ::rmdir(back.path.c_str());
  back.path = logdir;
  const std::vector<std::string> files = back.files();
  ASSERT_EQ(files.size(), 1u);
  // Whole records in their order, up to the last one.
  const std::vector<std::string> texts = back.texts(files[0]);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "r200");
  int previous = 0;
  for (const std::string& text : texts) {
    ASSERT_EQ(text[0], 'r') << text;
    const int n = std::stoi(text.substr(1));
    EXPECT_LT(previous, n) << text;
    previous = n;
  }
}

// With the file size limit reached the writes fail (the host ignores
// SIGXFSZ, as any host that wants to survive a full disk must); the host
// goes on and the file stays within the limit.
TEST(HostileLogDirTest, FileSizeLimitLeavesTheHostRunning) {
  TempDir logs;
  int status = -1;
  const std::string output = run_script(
      "trap \"\" XFSZ; ulimit -f 2; QZ_TRACE_LOGDIR=" + logs.path + " $HOST 100", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, "alive\n");
  ASSERT_EQ(logs.files().size(), 1u);
  struct stat facts {};
  ASSERT_EQ(::stat((logs.path + "/" + logs.files()[0]).c_str(), &facts), 0);
  EXPECT_LE(facts.st_size, 2048);
  EXPECT_GT(lines_in_files(logs), 0u);
}

// --- configuration files --------------------------------------------------

Vantrel::Config changed_record() {
  Vantrel::Config record;
  record.active = true;
  record.size = 33;
  record.set_consultant("kept");
  return record;
}

void expect_unchanged(const Vantrel::Config& record) {
  EXPECT_TRUE(record.active);
  EXPECT_EQ(record.size, 33u);
  EXPECT_STREQ(record.consultant, "kept");
}

// Parses the file at `path` into a changed record; returns the result.
bool parse_file(const std::string& path, Vantrel::Config& record) {
  std::ifstream in(path);
  return record.parse(in, "hostile", "", path);
}

struct HostileFile {
  const char* name;
  std::string content;
};

TEST(HostileConfigTest, ParseFailsCleanlyAndTheRecordStays) {
  const std::string nested =
      "size = " + std::string(20000, '(') + "1" + std::string(20000, ')') + ";";
  const std::vector<HostileFile> files = {
      {"nul bytes", std::string(4096, '\0')},
      {"nul byte after a statement", std::string("size = 20;\0size = 30;", 21)},
      {"nested 20000 deep", nested},
      {"unclosed string", "consultant = \"" + std::string(100000, 'x')},
      {"binary", "\xff\xfe\x01size\x80 = 20;"},
  };
  TempDir dir;
  for (const HostileFile& file : files) {
    const std::string path = dir.path + "/hostile.ini";
    std::ofstream(path, std::ios::binary) << file.content;
    Vantrel::Config record = changed_record();
    EXPECT_FALSE(parse_file(path, record)) << file.name;
    expect_unchanged(record);
  }
}

// 100 MB of blank lines and comments: scanned to the end, nothing changes.
TEST(HostileConfigTest, HugeFileIsScannedWithoutHarm) {
  TempDir dir;
  const std::string path = dir.path + "/huge.ini";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string block = std::string(1023, ' ') + "\n";
    for (int i = 0; i < 100 * 1024; ++i) out << block;
    out << "size = 20; garbage";
  }
  Vantrel::Config record = changed_record();
  EXPECT_FALSE(parse_file(path, record));
  expect_unchanged(record);
}

// The same files as the destination's configuration file: the message path
// re-reads them and goes on with the previous settings.
TEST(HostileConfigTest, HostSurvivesHostileConfigurationFiles) {
  TempDir dir;
  std::ofstream(dir.path + "/nul.ini", std::ios::binary) << std::string(4096, '\0');
  std::ofstream(dir.path + "/deep.ini")
      << "size = " << std::string(20000, '(') << "1" << std::string(20000, ')') << ";";
  ::mkdir((dir.path + "/dir.ini").c_str(), 0777);
  for (const char* name : {"/nul.ini", "/deep.ini", "/dir.ini"}) {
    int status = -1;
    const std::string output =
        run_script("QZ_TRACE_LOGDIR=" + dir.path + "/logs QZ_TRACE_CONFIGFILE=" + dir.path + name +
                       " $HOST config",
                   &status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(output, "parse false\nalive\n") << name;
  }
  ::rmdir((dir.path + "/dir.ini").c_str());
}

}  // namespace

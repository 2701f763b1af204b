// Files created in a directory others may write: whatever is planted at a
// name (a link to a root-only file, a dangling link, a FIFO, a file) is never
// written, truncated or waited on, and an append re-open accepts only the
// file that was created. The tests run as root, as an attacker's victim would.
#include "OwnFile.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "LogFile.h"
#include "LogFileLog.h"
#include "src/logfile_support.h"

namespace Vantrel {
namespace {

using ::logfile_support::TempDir;

using logfile_support::read_file;

// A root-only file an attacker would like the host to write.
struct Victim {
  explicit Victim(const TempDir& dir) : path(dir.path + "/victim") {
    std::ofstream(path) << "secret\n";
    ::chmod(path.c_str(), 0600);
  }
  std::string path;
};

// Plants something at `path`.
using Plant = std::function<void(const std::string& path, const Victim&)>;
const struct {
  const char* what;
  Plant plant;
} planted[] = {
    {"link to a root-only file",
     [](const std::string& p, const Victim& v) {
       ASSERT_EQ(::symlink(v.path.c_str(), p.c_str()), 0);
     }},
    {"dangling link",
     [](const std::string& p, const Victim& v) {
       ASSERT_EQ(::symlink((v.path + ".new").c_str(), p.c_str()), 0);
     }},
    {"FIFO", [](const std::string& p, const Victim&) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
    {"world-readable file",
     [](const std::string& p, const Victim&) {
       std::ofstream(p) << "old\n";
       ::chmod(p.c_str(), 0666);
     }},
};

TEST(OwnFileTest, CreateRefusesWhateverIsAtTheName) {
  for (const auto& c : planted) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const Victim victim(dir);
    const std::string path = dir.path + "/x.log";
    c.plant(path, victim);
    OwnFile::Identity id;
    errno = 0;
    EXPECT_EQ(OwnFile::create(path, id), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(read_file(victim.path), "secret\n");
    EXPECT_NE(::access((victim.path + ".new").c_str(), F_OK), 0);
    std::remove(path.c_str());
  }
}

TEST(OwnFileTest, CreatedFileHasMode0640EvenUnderUmaskZero) {
  TempDir dir;
  const mode_t saved = ::umask(0);
  OwnFile::Identity id;
  const int fd = OwnFile::create(dir.path + "/x.log", id);
  ::umask(saved);
  ASSERT_GE(fd, 0);
  struct stat info;
  ASSERT_EQ(::fstat(fd, &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  ::close(fd);
}

TEST(OwnFileTest, ReopenAcceptsOnlyTheCreatedFile) {
  for (const auto& c : planted) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const Victim victim(dir);
    const std::string path = dir.path + "/x.log";
    OwnFile::Identity id;
    ::close(OwnFile::create(path, id));
    const int again = OwnFile::reopen(path, id);
    EXPECT_GE(again, 0) << "the created file itself";
    ::close(again);
    ASSERT_EQ(std::rename(path.c_str(), (dir.path + "/moved").c_str()), 0);
    errno = 0;
    EXPECT_EQ(OwnFile::reopen(path, id), -1);
    EXPECT_EQ(errno, ENOENT);
    c.plant(path, victim);  // a FIFO without a reader would block an open
    errno = 0;
    EXPECT_EQ(OwnFile::reopen(path, id), -1);
    EXPECT_EQ(errno, ESTALE);
    EXPECT_EQ(read_file(victim.path), "secret\n");
    std::remove(path.c_str());
    std::remove((dir.path + "/moved").c_str());
  }
}

class Names : public DeviceInfo {
 public:
  explicit Names(std::string dir) : dir_(std::move(dir)) {}
  std::string name() const override { return "db"; }
  std::string logext() const override { return "log"; }
  std::string logdir() const override { return dir_; }
  std::string configfile() const override { return ""; }

 private:
  std::string dir_;
};

class ProbeLogFile : public LogFileLog {
 public:
  using LogFileLog::LogFileLog;
  using LogFileLog::stream;
};

const Importance medium(2, 0);

void write_record(LogFile& file, bool active, unsigned rank) {
  Config config;
  config.active = active;
  const RecordInputs inputs{&medium, 0, &config, nullptr};
  *file.begin_record(inputs, rank) << 'r' << rank;
  file.end_record(inputs, rank);
}

// The records of every regular file but the victim, in name order.
std::vector<std::string> records(const TempDir& dir) {
  std::vector<std::string> texts;
  for (const std::string& file : dir.files()) {
    struct stat info;
    const std::string path = dir.path + "/" + file;
    if (file == "victim" || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    for (const std::string& text : dir.texts(file)) texts.push_back(text);
  }
  return texts;
}

TEST(OwnFileLogTest, LinksPlantedAtThePredictedNamesAreSkipped) {
  TempDir dir;
  const Victim victim(dir);
  const Names names(dir.path);
  // The names of the next milliseconds, as an attacker can predict them:
  // dangling links (which would create a file where they point) and links to
  // the root-only file, in turn.
  const SimpleTime::PhysicalTime now = SimpleTime::clock().now();
  for (int ms = 0; ms < 6; ++ms) {
    const std::string name = LogFileNames::file_path(names, now + ms * SimpleTime::Millisecond);
    const std::string target = victim.path + (ms % 2 == 0 ? ".new" : "");
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0);
  }
  ProbeLogFile file(names);
  write_record(file, true, 1);
  EXPECT_EQ(read_file(victim.path), "secret\n");
  EXPECT_NE(::access((victim.path + ".new").c_str(), F_OK), 0);
  EXPECT_THAT(records(dir), ::testing::ElementsAre("r1"));
}

TEST(OwnFileLogTest, ReplacedFileIsNotReopenedAndANewFileStarts) {
  for (const auto& c : planted) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const Victim victim(dir);
    const Names names(dir.path);
    ProbeLogFile file(names);
    write_record(file, false, 1);  // inactive settings: the file is closed after it
    const std::string first = file.stream->name;
    ASSERT_EQ(std::rename(first.c_str(), (dir.path + "/moved").c_str()), 0);
    c.plant(first, victim);
    write_record(file, true, 2);
    EXPECT_NE(file.stream->name, first);
    EXPECT_EQ(read_file(victim.path), "secret\n");
    EXPECT_EQ(read_file(dir.path + "/moved").substr(read_file(dir.path + "/moved").rfind('|')),
              "|r1\n");
    std::remove((dir.path + "/moved").c_str());
    std::remove(first.c_str());
    EXPECT_THAT(records(dir), ::testing::ElementsAre("r2"));
  }
}

}  // namespace
}  // namespace Vantrel

// Files created in a directory others may write: whatever is planted at a
// name (a link to a root-only file, a dangling link, a FIFO, a file) is never
// written, truncated or waited on, and an append re-open accepts only the
// file that was created. The tests run as root, as an attacker's victim would.
#include "OwnFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include "LogFileLog.h"
#include "src/logfile_records.h"

namespace Vantrel {
namespace {

using namespace logfile_support;

// A root-only file "victim" an attacker would like the host to write.
struct Attack {
  TempDir dir;
  const std::string victim = dir.path + "/victim";
  Attack() {
    std::ofstream(victim) << "secret\n";
    ::chmod(victim.c_str(), 0600);
  }
  // Plants a link to the victim (kind 0), a dangling link (1), a FIFO (2) or
  // a file (3) at `path`.
  void plant(int kind, const std::string& path) const {
    if (kind == 3) std::ofstream(path) << "old\n";
    const std::string target = victim + (kind == 1 ? ".new" : "");
    ASSERT_EQ(kind < 2    ? ::symlink(target.c_str(), path.c_str())
              : kind == 2 ? ::mkfifo(path.c_str(), 0666)
                          : 0,
              0);
  }
  // The victim is untouched, no file was made where a link points, and the
  // regular files but the victim hold `expected`.
  void expect_unharmed(const std::vector<std::string>& expected = {}) const {
    EXPECT_EQ(read_file(victim), "secret\n");
    EXPECT_NE(::access((victim + ".new").c_str(), F_OK), 0);
    std::vector<std::string> texts;
    struct stat info;
    for (const std::string& name : dir.files())
      if (name != "victim" && ::lstat((dir.path + "/" + name).c_str(), &info) == 0 &&
          S_ISREG(info.st_mode))
        for (const std::string& text : dir.texts(name)) texts.push_back(text);
    EXPECT_EQ(texts, expected);
  }
};

// OwnFile refuses whatever is planted at a name, at create and at an append
// re-open; a log file whose file, closed after an inactive record, was
// replaced by it starts a new file for the next record.
TEST(OwnFileTest, CreateAndReopenRefuseWhateverIsPlanted) {
  for (int kind = 0; kind < 4; ++kind) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    const TestClock clock;
    const Attack attack;
    const std::string path = attack.dir.path + "/x.log", moved = attack.dir.path + "/moved";
    attack.plant(kind, path);
    OwnFile::Identity id;
    const auto refused = [&](int fd, int error) { return fd == -1 && errno == error; };
    EXPECT_TRUE(refused((errno = 0, OwnFile::create(path, id)), EEXIST));
    std::remove(path.c_str());
    const mode_t saved = ::umask(0);
    const int fd = OwnFile::create(path, id), again = OwnFile::reopen(path, id);
    ::umask(saved);
    struct stat info;
    ASSERT_EQ(::fstat(fd, &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    for (int opened : {fd, again}) EXPECT_EQ(::fcntl(opened, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    ::close(fd);
    ::close(again);
    ASSERT_EQ(std::rename(path.c_str(), moved.c_str()), 0);
    EXPECT_TRUE(refused((errno = 0, OwnFile::reopen(path, id)), ENOENT));
    attack.plant(kind, path);  // a FIFO without a reader would block an open
    EXPECT_TRUE(refused((errno = 0, OwnFile::reopen(path, id)), ESTALE));
    std::remove(path.c_str());
    std::remove(moved.c_str());
    const Names names(attack.dir.path);  // the log file's own, closed and replaced
    LogFileLog file(names);
    RecordCase record;
    record.config.active = false;
    write_record(file, record, 1, "r1");
    const std::string first = attack.dir.path + "/" + attack.dir.files()[0];
    ASSERT_EQ(std::rename(first.c_str(), moved.c_str()), 0);
    attack.plant(kind, first);
    record.config.active = true;
    write_record(file, record, 2, "r2");
    EXPECT_EQ(read_file(moved).substr(read_file(moved).rfind('|')), "|r1\n");
    std::remove(moved.c_str());
    std::remove(first.c_str());
    attack.expect_unharmed({"r2"});
  }
}

// Whatever is planted at the names of the next milliseconds, as an attacker
// can predict them, is skipped and left as it was: the record goes to the
// first free name (on the real clock, which the log file waits for).
TEST(OwnFileTest, LogFileSkipsLinksAtThePredictedNames) {
  const Attack attack;
  const Names names(attack.dir.path);
  const SimpleTime::PhysicalTime now = SimpleTime::clock().now();
  for (int ms = 0; ms < 6; ++ms)
    attack.plant(ms % 4, LogFileNames::file_path(names, now + ms * SimpleTime::Millisecond));
  LogFileLog file(names);
  RecordCase record;
  write_record(file, record, 1, "r1", false);
  attack.expect_unharmed({"old", "r1"});
}

}  // namespace
}  // namespace Vantrel

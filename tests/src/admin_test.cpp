// The administration interface on the default destination and on a device:
// edits, re-reading the configuration file, changing the files.
#include <Vantrel.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "src/logfile_support.h"

namespace {

using namespace Vantrel;

using logfile_support::TempDir;

// Writes `text` into the file `name` of `dir`; returns the file's path.
std::string write(const TempDir& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir.path + "/" + name) << text;
  return dir.path + "/" + name;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(AdminTest, ConfigTextRunsAgainstThePublishedRecord) {
  Admin::size(500);
  EXPECT_TRUE(Admin::config(std::string("active = true;")));
  EXPECT_TRUE(Admin::config().active);
  EXPECT_EQ(Admin::config().size, 500u);
  EXPECT_FALSE(Admin::config(std::string("active = ;")));
  EXPECT_TRUE(Admin::config().active);
}

TEST(AdminTest, FirstMessageReadsTheConfigurationFile) {
  TempDir dir;
  write(dir, "dev.ini", "active = true; size = 50;");
  Context::Device device("dev", "log", dir.path, dir.path + "/dev.ini");
  Context::WithDevice bound(device);
  EXPECT_TRUE(Admin::pullable());
  EXPECT_EQ(Admin::period(), SimpleTime::Minute);
  const Config config = Admin::config();
  EXPECT_TRUE(config.active);
  EXPECT_EQ(config.size, 50u);
  // Read once a minute only: a change of the file is not seen yet.
  write(dir, "dev.ini", "active = false;");
  EXPECT_TRUE(Admin::config().active);
}

TEST(AdminTest, NegativePeriodReReadsAtEveryMessage) {
  TempDir dir;
  write(dir, "dev.ini", "size = 50;");
  Context::Device device("dev", "log", dir.path, dir.path + "/dev.ini");
  Context::WithDevice bound(device);
  Admin::active(true);  // pulling off
  Admin::period(SimpleTime::Second * -5.0);
  EXPECT_EQ(Admin::period(), SimpleTime::Duration());
  EXPECT_TRUE(Admin::pullable());
  EXPECT_EQ(Admin::config().size, 50u);
  write(dir, "dev.ini", "size = 60;");
  EXPECT_EQ(Admin::config().size, 60u);
}

TEST(AdminTest, ActiveWhilePullingKeepsTheDefaultsAndStopsReading) {
  TempDir dir;
  write(dir, "dev.ini", "size = 50;");
  Context::Device device("dev", "log", dir.path, dir.path + "/dev.ini");
  Context::WithDevice bound(device);
  EXPECT_EQ(Admin::config().size, 50u);
  Admin::active(true);
  const Config config = Admin::config();
  EXPECT_TRUE(config.active);
  EXPECT_EQ(config.size, 10000u);
  EXPECT_EQ(config.importance.level, 2);
  EXPECT_EQ(config.display_mask, 0u);
  EXPECT_FALSE(Admin::pullable());
}

TEST(AdminTest, NewConfigFileIsReadAtTheNextMessage) {
  TempDir dir;
  write(dir, "other.ini", "size = 70;");
  Context::Device device("dev", "log", dir.path, dir.path + "/absent.ini");
  Context::WithDevice bound(device);
  Admin::active(true);
  Admin::configfile(dir.path + "/other.ini");
  EXPECT_TRUE(Admin::pullable());
  EXPECT_EQ(Admin::configfile(), dir.path + "/other.ini");
  EXPECT_EQ(Admin::config().size, 70u);
  Admin::configfile("");
  EXPECT_EQ(Admin::configfile(), "./dev_trace.ini");
}

TEST(AdminTest, LogExtensionMustMatchExactly) {
  TempDir dir;
  Context::Device device("dev", "log", dir.path, dir.path + "/absent.ini");
  Context::WithDevice bound(device);
  Admin::logext("xml");
  EXPECT_EQ(Admin::logext(), "xml");
  Admin::logext("XML");
  EXPECT_EQ(Admin::logext(), "log");
  EXPECT_FALSE(Admin::pullable());
}

TEST(AdminTest, NewLogDirectoryTakesTheNextRecord) {
  TempDir first;
  TempDir second;
  Context::Device device("dev", "log", first.path, first.path + "/absent.ini");
  Context::WithDevice bound(device);
  Admin::active(true);
  Printf{M}("one");
  Admin::logdir(second.path);
  EXPECT_EQ(Admin::logdir(), second.path);
  Printf{M}("two");
  ASSERT_EQ(first.files().size(), 1u);
  ASSERT_EQ(second.files().size(), 1u);
  EXPECT_TRUE(ends_with(second.files()[0], "_trace.log")) << second.files()[0];
  Admin::logdir("");
  EXPECT_EQ(Admin::logdir(), ".");
}

}  // namespace

// Changing the files while another thread writes: each record goes whole to
// one file or the next (run under ThreadSanitizer, this also checks locking).
TEST(AdminTest, FilesChangeSafelyUnderAWritingThread) {
  TempDir dir;
  Context::Device device("dev", "log", dir.path, dir.path + "/absent.ini");
  std::thread writer([&device] {
    Context::WithDevice bound(device);
    for (int i = 0; i < 300; ++i) Printf{Assert}("record %d", i);
  });
  {
    Context::WithDevice bound(device);
    for (int i = 0; i < 30; ++i) {
      Admin::logext(i % 2 ? "log" : "xml");
      Admin::keep(true);
    }
  }
  writer.join();
  EXPECT_GE(dir.files().size(), 1u);
}

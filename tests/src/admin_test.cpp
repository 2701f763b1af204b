// The administration interface on the default destination and on a device:
// edits, re-reading the configuration file, changing the files.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <fstream>

#include "hosts/context_support.h"

namespace {

using namespace Vantrel;

// A device bound to the thread, its configuration file dev.ini not written yet.
class DeviceAdmin : public ::testing::Test {
 protected:
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir.path + "/" + name) << text;
  }
  context_support::TempDir dir;
  Context::Device device{"dev", "log", dir.path, dir.path + "/dev.ini"};
  Context::WithDevice bound{device};
};

// The file is read at the first message, then once a minute, or at every
// message for a negative period; an edit stops the reading and starts from
// the defaults.
TEST_F(DeviceAdmin, FileIsReadUntilAnEdit) {
  write("dev.ini", "active = true; size = 50;");
  EXPECT_TRUE(Admin::pullable());
  EXPECT_EQ(Admin::period(), SimpleTime::Minute);
  EXPECT_EQ(Admin::config().size, 50u);
  write("dev.ini", "active = false;");
  EXPECT_TRUE(Admin::config().active);
  Admin::active(true);
  EXPECT_FALSE(Admin::config(std::string("active = ;")));
  const Config config = Admin::config();
  EXPECT_EQ(std::to_string(config.active) + " " + std::to_string(config.size) + " " +
                std::to_string(config.importance.level) + " " + std::to_string(config.display_mask),
            "1 10000 2 0");
  EXPECT_FALSE(Admin::pullable());
  Admin::period(SimpleTime::Second * -5.0);
  EXPECT_EQ(Admin::period(), SimpleTime::Duration());
  EXPECT_TRUE(Admin::pullable());
  EXPECT_FALSE(Admin::config().active);
  write("dev.ini", "size = 60;");
  EXPECT_EQ(Admin::config().size, 60u);
}

// A new configuration file is read at the next message, a new directory
// takes the next record; the extension must match exactly; "" restores.
TEST_F(DeviceAdmin, NewFilesTakeTheNextMessage) {
  context_support::TempDir second;
  write("other.ini", "active = true; size = 70;");
  Admin::active(true);
  Printf{M}("one");
  Admin::logdir(second.path);
  Printf{M}("two");
  ASSERT_EQ(second.files().size(), 1u);
  EXPECT_EQ(second.all_texts(), std::vector<std::string>{"two"});
  Admin::configfile(dir.path + "/other.ini");
  EXPECT_EQ(Admin::config().size, 70u);
  Admin::logext("xml");
  EXPECT_EQ(Admin::logext() + Admin::logdir(), "xml" + second.path);
  Admin::logext("XML");
  Admin::configfile("");
  Admin::logdir("");
  EXPECT_EQ(Admin::logext() + " " + Admin::logdir() + " " + Admin::configfile(),
            "log . ./dev_trace.ini");
  EXPECT_EQ(context_support::messages(dir, "dev"), std::vector<std::string>{"one"});
}

}  // namespace

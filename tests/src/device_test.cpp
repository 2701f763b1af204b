// Devices: destinations of their own, shared by the threads bound to them.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace context_support;

namespace {

void activate(const Device& device) {
  WithDevice binding(device);
  Admin::active(true);
  Admin::importance(XS);
}

TEST(Device, DestroyingTheDeviceCompletesItsLogFile) {
  TempDir dir;
  {
    Device device("xmldev", "xml", dir.path, "");
    activate(device);
    WithDevice binding(device);
    Printf{M}("kept");
  }
  ASSERT_EQ(dir.files().size(), 1u);
  const std::string text = logfile_support::read_file(dir.path + "/" + dir.files()[0]);
  EXPECT_TRUE(contains(text, "kept"));
  EXPECT_EQ(text.substr(text.size() - 11), "</Vantrel>\n");
}

// Threads bound to one device share its file without mixing records.
TEST(Device, ThreadsShareADeviceAndKeepOthersApart) {
  TempDir dir;
  Device shared("shared", "log", dir.path, ""), own("own", "log", dir.path, "");
  activate(shared);
  activate(own);
  auto writer = [](const Device& device, const char* who) {
    WithDevice binding(device);
    for (int i = 0; i < 50; ++i) Printf{M}("%s %d", who, i);
  };
  std::thread a(writer, std::cref(shared), "a"), b(writer, std::cref(shared), "b");
  std::thread c(writer, std::cref(own), "c");
  a.join(), b.join(), c.join();
  const std::vector<std::string> texts = messages(dir, "shared");
  EXPECT_EQ(texts.size(), 100u);
  for (const std::string& text : texts) EXPECT_TRUE(std::regex_match(text, std::regex("[ab] \\d+")));
  EXPECT_EQ(messages(dir, "own").size(), 50u);
}

TEST(Device, EchoWritesContextDebugLines) {
  int status = -1;
  const std::string output =
      logfile_support::run("QZ_TRACE_ECHO=1 " VANTREL_TEST_HOSTS_DIR "/host_context_echo", &status);
  ASSERT_EQ(status, 0);
  const auto rows = case_rows("echo_device.txt");
  ASSERT_EQ(rows.size(), 9u);
  for (const auto& row : rows) EXPECT_TRUE(std::regex_search(output, std::regex(row[0]))) << row[0];
}

}  // namespace

// Devices: destinations of their own, shared by the threads bound to them.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace context_support;

namespace {

void activate(const Device& device) {
  WithDevice binding(device);
  Admin::active(true);
  Admin::importance(Vantrel::XS);
}

TEST(Device, DestroyingTheDeviceCompletesItsLogFile) {
  TempDir dir;
  {
    Device device("xmldev", "xml", dir.path, "");
    activate(device);
    WithDevice binding(device);
    Printf{Vantrel::M}("kept");
  }
  const std::vector<std::string> files = list(dir.path);
  ASSERT_EQ(files.size(), 1u);
  std::ifstream in(dir.path + "/" + files[0]);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(contains(text.str(), "kept"));
  EXPECT_TRUE(contains(text.str(), "</Vantrel>"));
}

// Threads bound to the same device share its file without mixing records;
// a thread bound to another device writes elsewhere.
TEST(Device, ThreadsShareADeviceAndKeepOthersApart) {
  TempDir dir;
  Device shared("shared", "log", dir.path, "");
  Device own("own", "log", dir.path, "");
  activate(shared);
  activate(own);
  auto writer = [](const Device& device, const char* who) {
    WithDevice binding(device);
    for (int i = 0; i < 50; ++i) Printf{Vantrel::M}("%s %d", who, i);
  };
  std::thread a(writer, std::cref(shared), "a");
  std::thread b(writer, std::cref(shared), "b");
  std::thread c(writer, std::cref(own), "c");
  a.join();
  b.join();
  c.join();
  const std::vector<std::string> texts = messages(dir.path, "shared");
  EXPECT_EQ(texts.size(), 100u);
  for (const std::string& text : texts)
    EXPECT_TRUE(std::regex_match(text, std::regex("[ab] \\d+")));
  EXPECT_EQ(messages(dir.path, "own").size(), 50u);
}

// With QZ_TRACE_ECHO=1 the record and device operations write their debug
// lines to the standard output.
TEST(Device, EchoWritesContextDebugLines) {
  int status = -1;
  const std::string output =
      logfile_support::run("QZ_TRACE_ECHO=1 " VANTREL_TEST_HOSTS_DIR "/host_context_echo", &status);
  ASSERT_EQ(status, 0);
  const char* expected[] = {
      R"("\.\./src/\.\\Vantrel", line \d+: \(Thr-\d+\): Device::Device \(\), logos_ is logos=0)",
      R"(: Device::Device \(echodev\), logos_ is logos=0x[0-9a-f]+)",
      R"(: install_data \(\), is_owner=1, data=0)",
      R"(: install_data \(\), after  new Context::Data)",
      R"(: Data::set_logos \(\), x is logos=0x[0-9a-f]+)",
      R"(: get_data \(\) returning data=0x[0-9a-f]+)",
      R"(: uninstall_data \(\), delete data=0x[0-9a-f]+)",
      R"(: get_logos \(\), returning default logos=0x[0-9a-f]+)",
      R"(: Device::~Device \(\), logos_ is logos=0x[0-9a-f]+)",
  };
  for (const char* pattern : expected) {
    EXPECT_TRUE(std::regex_search(output, std::regex(pattern))) << pattern;
  }
}

}  // namespace

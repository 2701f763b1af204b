// Devices: destinations of their own, shared by the threads bound to them.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ContextInternal.h"
#include "Library.h"
#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using context_support::contains;
using context_support::log_lines;
using context_support::messages;
using context_support::TempDir;

namespace {

void activate() {
  Config config;
  config.active = true;
  config.importance = Importance(0, 0);
  Admin::config(config);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Device, DefaultDeviceHasNoDestinationOfItsOwn) {
  Device plain;
  EXPECT_EQ(plain.logos(), nullptr);
  WithDevice binding(plain);
  EXPECT_EQ(get_logos(get_data()), default_logos());
}

TEST(Device, NamedDeviceCarriesItsNames) {
  TempDir dir;
  Device device("dbdev", "log", dir.path(), dir.path() + "/db.ini");
  ASSERT_NE(device.logos(), nullptr);
  EXPECT_NE(device.logos(), default_logos());
  WithDevice binding(device);
  EXPECT_EQ(Admin::name(), "dbdev");
  EXPECT_EQ(Admin::logext(), "log");
  EXPECT_EQ(Admin::logdir(), dir.path());
  EXPECT_EQ(Admin::configfile(), dir.path() + "/db.ini");
}

TEST(Device, EmptyNamesComeFromTheEnvironment) {
  TempDir dir;
  setenv("QZ_TRACE_NAME", "fromenv", 1);
  setenv("QZ_TRACE_LOGDIR", dir.path().c_str(), 1);
  Device device("", "", "", "");
  WithDevice binding(device);
  EXPECT_EQ(Admin::name(), "fromenv");
  EXPECT_EQ(Admin::logext(), "log");
  EXPECT_EQ(Admin::logdir(), dir.path());
  EXPECT_TRUE(context_support::ends_with(Admin::configfile(), "fromenv_trace.ini"));
}

TEST(Device, DestroyingTheDeviceCompletesItsLogFile) {
  TempDir dir;
  {
    Device device("xmldev", "xml", dir.path(), dir.path() + "/absent.ini");
    WithDevice binding(device);
    activate();
    Printf{Vantrel::M}("kept");
  }
  const std::vector<std::string> files = TempDir::list(dir.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(context_support::ends_with(files[0], ".xml"));
  const std::string text = read_file(dir.path() + "/" + files[0]);
  EXPECT_TRUE(contains(text, "kept"));
  EXPECT_TRUE(contains(text, "</Vantrel>"));
}

// Threads bound to different devices write to different files; threads bound
// to the same one share its file without mixing their records.
TEST(Device, ThreadsShareADeviceAndKeepOthersApart) {
  TempDir dir;
  Device shared("shared", "log", dir.path(), dir.path() + "/absent.ini");
  Device own("own", "log", dir.path(), dir.path() + "/absent.ini");
  {
    WithDevice binding(shared);
    activate();
  }
  {
    WithDevice binding(own);
    activate();
  }
  constexpr int records = 50;
  auto writer = [](const Device& device, const char* who) {
    WithDevice binding(device);
    for (int i = 0; i < records; ++i) Printf{Vantrel::M}("%s %d", who, i);
  };
  std::thread a(writer, std::cref(shared), "a");
  std::thread b(writer, std::cref(shared), "b");
  std::thread c(writer, std::cref(own), "c");
  a.join();
  b.join();
  c.join();

  const std::vector<std::string> shared_texts = messages(dir.path(), "shared");
  ASSERT_EQ(shared_texts.size(), 2u * records);
  for (const std::string& text : shared_texts) {
    EXPECT_TRUE(std::regex_match(text, std::regex("[ab] [0-9]+"))) << text;
  }
  const std::vector<std::string> own_texts = messages(dir.path(), "own");
  ASSERT_EQ(own_texts.size(), 1u * records);
  EXPECT_EQ(own_texts.front(), "c 0");
  EXPECT_EQ(own_texts.back(), "c 49");
}

// With QZ_TRACE_ECHO=1 the record and device operations write their debug
// lines to the standard output.
TEST(Device, EchoWritesContextDebugLines) {
  const std::string command = "QZ_TRACE_ECHO=1 " VANTREL_TEST_HOSTS_DIR "/host_context_echo";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  ASSERT_EQ(pclose(pipe), 0);

  const char* expected[] = {
      R"("\.\./src/\.\\Vantrel", line \d+: \(Thr-\d+\): Device::Device \(\), logos_ is logos=0)",
      R"(\(Thr-\d+\): Device::Device \(echodev\), logos_ is logos=0x[0-9a-f]+)",
      R"(\(Thr-\d+\): install_data \(\), is_owner=1, data=0)",
      R"(\(Thr-\d+\): install_data \(\), after  new Context::Data)",
      R"(\(Thr-\d+\): Data::set_logos \(\), x is logos=0x[0-9a-f]+)",
      R"(\(Thr-\d+\): get_data \(\) returning data=0x[0-9a-f]+)",
      R"(\(Thr-\d+\): uninstall_data \(\), delete data=0x[0-9a-f]+)",
      R"(\(Thr-\d+\): uninstall_data \(\) at end)",
      R"(\(Thr-\d+\): get_logos \(\), returning default logos=0x[0-9a-f]+)",
      R"(\(Thr-\d+\): Device::~Device \(\), logos_ is logos=0x[0-9a-f]+)",
  };
  for (const char* pattern : expected) {
    EXPECT_TRUE(std::regex_search(output, std::regex(pattern))) << pattern;
  }
}

}  // namespace

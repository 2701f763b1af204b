// Library start and stop, the thread-local slot and the names a destination
// takes from its arguments and the environment. The flags read once at start
// (QZ_TRACE_ECHO, QZ_TRACE_XML) are tested in a child process, host_core_env.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Library.h"
#include "LogosInfo.h"
#include "hosts/context_support.h"
#include "zeltools/native/Native.h"

namespace Vantrel {
namespace {

using ZelTools::Native::Sys;

std::string text_of(const ZelTools::Exception& e) {
  std::ostringstream out;
  e.print(out);
  return out.str();
}

// One value per thread; refused system calls throw their exceptions.
TEST(TlsDataTest, KeepsOneValuePerThreadOrThrows) {
  TlsData slot;
  auto* first = reinterpret_cast<Context::Data*>(0x10);
  EXPECT_EQ(slot.set(first), nullptr);
  EXPECT_EQ(slot.set(first), first);
  std::thread([&] { EXPECT_EQ(slot.get(), nullptr); }).join();
  const auto key_create = Sys::key_create;
  const auto setspecific = Sys::setspecific;
  Sys::key_create = [](pthread_key_t*, void (*)(void*)) { return EAGAIN; };
  Sys::setspecific = [](pthread_key_t, const void*) { return ENOMEM; };
  std::string texts;
  try {
    TlsData refused;
  } catch (const ZelTools::Native::CannotCreateTls& e) {
    texts += text_of(e) + ",";
  }
  try {
    slot.set(nullptr);
  } catch (const ZelTools::Native::CannotSetTls& e) {
    texts += text_of(e);
  }
  Sys::key_create = key_create;
  Sys::setspecific = setspecific;
  EXPECT_EQ(texts, "cannot create tls,cannot set tls");
  EXPECT_EQ(slot.get(), first);
}

std::vector<std::string> words(const std::string& text, char separator) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string word; std::getline(in, word, separator);)
    result.push_back(word == "-" ? "" : word);
  return result;
}

TEST(LogosInfoTest, ResolvesNamesFromArgumentsThenEnvironment) {
  const auto rows = context_support::case_rows("logos_info.txt");
  ASSERT_EQ(rows.size(), 11u);
  for (const auto& row : rows) {
    std::vector<std::string> set;
    for (const std::string& var : words(row[0], ',')) {
      const std::size_t eq = var.find('=');
      if (var.empty()) continue;
      set.push_back("QZ_TRACE_" + var.substr(0, eq));
      setenv(set.back().c_str(), var.substr(eq + 1).c_str(), 1);
    }
    const std::vector<std::string> given = words(row[1], ' ');
    LogosInfo info(given[0], given[1], given[2], given[3]);
    std::string expected = row[2];
    for (std::size_t at; (at = expected.find("$self")) != std::string::npos;)
      expected.replace(at, 5, "vantrel_start_test");
    EXPECT_EQ(info.name() + " " + info.logext() + " " + info.logdir() + " " + info.configfile(),
              expected)
        << row[0] << " | " << row[1];
    for (const std::string& name : set) unsetenv(name.c_str());
  }
}

// Runs host_core_env with the given variables; returns its standard output.
std::string run_host(const std::string& vars, const std::string& args = "") {
  const std::string command =
      "env -u QZ_TRACE_ECHO -u QZ_TRACE_DEBUG -u QZ_TRACE_TO_SCREEN -u QZ_TRACE_XML "
      "-u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR -u QZ_TRACE_CONFIGFILE " +
      vars + " " VANTREL_TEST_HOSTS_DIR "/host_core_env " + args;
  int status = 0;
  const std::string out = logfile_support::run(command, &status);
  EXPECT_EQ(status, 0) << command;
  return out;
}

// Echo is on for "1" only; it traces one start and one stop, in order.
TEST(EnvTest, EchoTracesOneStartAndOneStop) {
  for (const char* value : {"yes", "true", "11"})
    EXPECT_EQ(run_host(std::string("QZ_TRACE_ECHO=") + value).find("Vantrel"), std::string::npos);
  const std::string out = run_host("QZ_TRACE_ECHO=1 QZ_TRACE_DEBUG=1");
  EXPECT_EQ(out.rfind("\"../src/.\\Vantrel\", line ", 0), 0u) << out;
  std::size_t previous = 0;
  for (const auto& row : context_support::case_rows("echo_start_stop.txt")) {
    EXPECT_EQ(logfile_support::occurrences(out, row[0]), 1u) << row[0];
    EXPECT_GT(out.find(row[0]), previous) << row[0];
    previous = out.find(row[0]);
  }
  EXPECT_NE(previous, 0u);
}

// QZ_TRACE_XML chooses the default extension only, matched exactly.
TEST(EnvTest, XmlFlagChoosesTheDefaultExtensionOnly) {
  EXPECT_TRUE(context_support::contains(run_host("QZ_TRACE_XML=1"), "logext=xml\n"));
  EXPECT_TRUE(
      context_support::contains(run_host("QZ_TRACE_XML=1", "db log . x.ini"), "logext=log\n"));
  EXPECT_TRUE(
      context_support::contains(run_host("QZ_TRACE_XML=1", "db LOG . x.ini"), "logext=xml\n"));
}

}  // namespace
}  // namespace Vantrel

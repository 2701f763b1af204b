// Library start and stop, the thread-local slot and the names a destination
// takes from its arguments and the environment. The flags read once at start
// (QZ_TRACE_ECHO, QZ_TRACE_XML) are tested in a child process, host_core_env.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <sstream>
#include <thread>

#include "Library.h"
#include "LogosInfo.h"
#include "hosts/context_support.h"
#include "zeltools/native/Native.h"

namespace Vantrel {
namespace {

using ZelTools::Native::Sys;

// One value per thread; refused system calls throw their exceptions.
TEST(TlsDataTest, KeepsOneValuePerThreadOrThrows) {
  const auto thrown = [](auto action) {
    std::ostringstream out;
    try {
      action();
    } catch (const ZelTools::Exception& e) {
      e.print(out);
    }
    return out.str();
  };
  TlsData slot;
  auto* first = reinterpret_cast<Context::Data*>(0x10);
  EXPECT_EQ(slot.set(first), nullptr);
  EXPECT_EQ(slot.set(first), first);
  std::thread([&] { EXPECT_EQ(slot.get(), nullptr); }).join();
  const auto key_create = Sys::key_create;
  const auto setspecific = Sys::setspecific;
  Sys::key_create = [](pthread_key_t*, void (*)(void*)) { return EAGAIN; };
  Sys::setspecific = [](pthread_key_t, const void*) { return ENOMEM; };
  const std::string texts =
      thrown([] { TlsData refused; }) + "," + thrown([&] { slot.set(nullptr); });
  Sys::key_create = key_create;
  Sys::setspecific = setspecific;
  EXPECT_EQ(texts, "cannot create tls,cannot set tls");
  EXPECT_EQ(slot.get(), first);
}

TEST(LogosInfoTest, ResolvesNamesFromArgumentsThenEnvironment) {
  for (const auto& row : context_support::case_rows("logos_info.txt")) {
    std::istringstream vars(row[0]), given(row[1]);
    std::vector<std::string> set, args;
    for (std::string var; vars >> var && var != "-";) {
      set.push_back("QZ_TRACE_" + var.substr(0, var.find('=')));
      setenv(set.back().c_str(), var.substr(var.find('=') + 1).c_str(), 1);
    }
    for (std::string arg; given >> arg;) args.push_back(arg == "-" ? "" : arg);
    const LogosInfo info(args.at(0), args.at(1), args.at(2), args.at(3));
    EXPECT_EQ(info.name() + " " + info.logext() + " " + info.logdir() + " " + info.configfile(),
              row[2])
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

// Echo is on for "1" only and traces one start and one stop, in order, and
// the record and device operations between them; QZ_TRACE_XML chooses the
// default extension only, matched exactly.
TEST(EnvTest, EchoAndXmlFlags) {
  for (const char* value : {"yes", "true", "11"})
    EXPECT_EQ(run_host(std::string("QZ_TRACE_ECHO=") + value).find("Vantrel"), std::string::npos);
  const std::string out = run_host("QZ_TRACE_ECHO=1 QZ_TRACE_DEBUG=1",
                                   "echodev log /nonexistent-dir /nonexistent-dir/e.ini");
  std::size_t previous = 0;
  for (const auto& row : context_support::case_rows("echo_start_stop.txt")) {
    EXPECT_EQ(logfile_support::occurrences(out, row[0]), 1u) << row[0];
    EXPECT_GT(out.find(row[0]), previous) << row[0];
    previous = out.find(row[0]);
  }
  for (const auto& row : context_support::case_rows("echo_device.txt"))
    EXPECT_TRUE(std::regex_search(out, std::regex(row[0]))) << row[0];
  for (const auto& [args, ext] : {std::pair<const char*, const char*>{"", "xml"},
                                  {"db log . x.ini", "log"},
                                  {"db LOG . x.ini", "xml"}})
    EXPECT_TRUE(context_support::contains(run_host("QZ_TRACE_XML=1", args),
                                          "logext=" + std::string(ext) + "\n"))
        << args;
}

}  // namespace
}  // namespace Vantrel

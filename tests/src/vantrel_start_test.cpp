// Library start and stop, the thread-local slot and the names a destination
// takes from its arguments and the environment.
// The flags read once at start (QZ_TRACE_ECHO, QZ_TRACE_XML) are tested in a
// child process, host_core_env.
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
#include "src/logfile_support.h"
#include "zeltools/native/Native.h"

namespace Vantrel {
namespace {

using logfile_support::occurrences;
using ZelTools::Native::Sys;

TEST(TlsDataTest, KeepsOneValuePerThread) {
  TlsData slot;
  auto* first = reinterpret_cast<Context::Data*>(0x10);
  auto* second = reinterpret_cast<Context::Data*>(0x20);
  EXPECT_EQ(slot.get(), nullptr);
  EXPECT_EQ(slot.set(first), nullptr);
  EXPECT_EQ(slot.set(second), first);
  Context::Data* seen_elsewhere = second;
  std::thread([&] { seen_elsewhere = slot.get(); }).join();
  EXPECT_EQ(seen_elsewhere, nullptr);
  EXPECT_EQ(slot.get(), second);
}

std::string text_of(const ZelTools::Exception& e) {
  std::ostringstream out;
  e.print(out);
  return out.str();
}

TEST(TlsDataTest, RefusedSystemCallsThrowTheirExceptions) {
  const auto key_create = Sys::key_create;
  Sys::key_create = [](pthread_key_t*, void (*)(void*)) { return EAGAIN; };
  try {
    TlsData slot;
    ADD_FAILURE() << "no exception";
  } catch (const ZelTools::Native::CannotCreateTls& e) {
    EXPECT_EQ(text_of(e), "cannot create tls");
  }
  Sys::key_create = key_create;

  const auto setspecific = Sys::setspecific;
  TlsData slot;
  Sys::setspecific = [](pthread_key_t, const void*) { return ENOMEM; };
  try {
    slot.set(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const ZelTools::Native::CannotSetTls& e) {
    EXPECT_EQ(text_of(e), "cannot set tls");
  }
  Sys::setspecific = setspecific;
}

// Sets QZ_TRACE_ variables for the life of the object.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::vector<std::pair<std::string, std::string>>& vars) {
    for (const auto& v : vars) {
      names_.push_back("QZ_TRACE_" + v.first);
      setenv(names_.back().c_str(), v.second.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    for (const auto& n : names_) unsetenv(n.c_str());
  }

 private:
  std::vector<std::string> names_;
};

struct InfoCase {
  std::vector<std::pair<std::string, std::string>> env;
  std::vector<std::string> given;  // name, logext, logdir, configfile
  std::vector<std::string> expected;
};

const std::string self = "vantrel_start_test";

TEST(LogosInfoTest, ResolvesNamesFromArgumentsThenEnvironment) {
  const InfoCase cases[] = {
      {{}, {"", "", "", ""}, {self, "log", ".", "./" + self + "_trace.ini"}},
      {{{"NAME", "svc"}}, {"", "", "", ""}, {"svc", "log", ".", "./svc_trace.ini"}},
      {{{"NAME", "svc"}}, {"db", "", "", ""}, {"db", "log", ".", "./db_trace.ini"}},
      {{{"LOGDIR", "/var/log/app"}},
       {"", "", "", ""},
       {self, "log", "/var/log/app", "./" + self + "_trace.ini"}},
      {{{"LOGDIR", "/var/log/app"}},
       {"", "", "/tmp/x", ""},
       {self, "log", "/tmp/x", "./" + self + "_trace.ini"}},
      {{{"CONFIGDIR", "/etc/app"}},
       {"db", "", "", ""},
       {"db", "log", ".", "/etc/app/db_trace.ini"}},
      {{{"CONFIGDIR", "/etc/app"}, {"CONFIGFILE", "/etc/x.ini"}},
       {"db", "", "", ""},
       {"db", "log", ".", "/etc/x.ini"}},
      {{{"CONFIGFILE", "/etc/x.ini"}}, {"db", "", "", "mine.ini"}, {"db", "log", ".", "mine.ini"}},
      {{}, {"db", "xml", "", ""}, {"db", "xml", ".", "./db_trace.ini"}},
      {{}, {"db", "LOG", "", ""}, {"db", "log", ".", "./db_trace.ini"}},
      {{}, {"db", "txt", "", ""}, {"db", "log", ".", "./db_trace.ini"}},
  };
  for (const InfoCase& c : cases) {
    ScopedEnv env(c.env);
    LogosInfo info(c.given[0], c.given[1], c.given[2], c.given[3]);
    const std::vector<std::string> got = {info.name(), info.logext(), info.logdir(),
                                          info.configfile()};
    EXPECT_EQ(got, c.expected) << "given " << c.given[0] << "," << c.given[1] << "," << c.given[2]
                               << "," << c.given[3];
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

TEST(EnvTest, EchoIsOnOnlyForOne) {
  for (const char* value : {"yes", "true", "11"}) {
    const std::string out = run_host(std::string("QZ_TRACE_ECHO=") + value);
    EXPECT_EQ(out.find("Vantrel"), std::string::npos) << value;
  }
}

TEST(EnvTest, EchoTracesOneStartAndOneStop) {
  const std::string out = run_host("QZ_TRACE_ECHO=1 QZ_TRACE_DEBUG=1");
  EXPECT_EQ(occurrences(out, "Vantrel_load_env_vars (), ECHO=1, DEBUG=1, TO_SCREEN=0, XML=0\n"),
            1u);
  EXPECT_EQ(occurrences(out, ": Hello Vantrel {\n"), 1u);
  EXPECT_EQ(occurrences(out, ": } Hello Vantrel\n"), 1u);
  EXPECT_EQ(occurrences(out, ": Goodbye Vantrel {\n"), 1u);
  EXPECT_EQ(occurrences(out, ": } Goodbye Vantrel\n"), 1u);
  EXPECT_LT(out.find("} Hello Vantrel"), out.find("name=host_core_env"));
  EXPECT_LT(out.find("name=host_core_env"), out.find("Goodbye Vantrel {"));
  EXPECT_EQ(out.rfind("\"../src/.\\Vantrel\", line ", 0), 0u) << out;
  const std::string steps[] = {
      "VantrelInitExit::init, after  new Mt::InitExit",
      "VantrelInitExit::init, Importance constants",
      "VantrelInitExit::init, logos_ptr is logos=0x",
      "VantrelInitExit::init, after  new TlsData",
      "VantrelInitExit::exit, after  delete data_ptr",
      "VantrelInitExit::exit, before delete logos_ptr",
      "VantrelInitExit::exit, after  delete ProcessInitExit_ptr",
      "VantrelInitExit::exit, after  delete MtInitExit_ptr",
  };
  size_t previous = 0;
  for (const std::string& step : steps) {
    const size_t at = out.find(step);
    ASSERT_NE(at, std::string::npos) << step;
    EXPECT_GT(at, previous) << step;
    previous = at;
  }
}

TEST(EnvTest, XmlFlagChoosesTheDefaultExtensionOnly) {
  const std::string dflt = run_host("QZ_TRACE_XML=1");
  EXPECT_NE(dflt.find("logext=xml\n"), std::string::npos) << dflt;
  const std::string log = run_host("QZ_TRACE_XML=1", "db log . x.ini");
  EXPECT_NE(log.find("logext=log\n"), std::string::npos) << log;
  const std::string upper = run_host("QZ_TRACE_XML=1", "db LOG . x.ini");
  EXPECT_NE(upper.find("logext=xml\n"), std::string::npos) << upper;
}

}  // namespace
}  // namespace Vantrel

// The crash handler, in child processes that die of a fatal signal inside
// nested workflow steps and actor scopes (tests/hosts/crash_handler.cpp):
// the record in the log file and on standard error, the XML document's end,
// the exit status, the host's own handler, a crash during a record and two
// threads crashing at once. Every child is bounded by alarm(): a hang ends
// it with SIGALRM, which no case expects.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CrashHandler.h"
#include "src/logfile_support.h"

namespace {

using logfile_support::occurrences;
using logfile_support::TempDir;

struct Outcome {
  int signal = 0;   // the signal that ended the child, 0 when it exited
  std::string log;  // the log file's content (empty when there is none)
  std::string log_path;
  std::string err;  // its standard error
};

using logfile_support::read_file;

// The sanitizers' runtimes handle some fatal signals themselves unless told
// not to; the options of the test's own run are kept.
constexpr const char* sanitizer_options =
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";

void add_sanitizer_options(const char* variable) {
  const char* own = getenv(variable);
  const std::string options = std::string(own != nullptr ? own : "") + ":" + sanitizer_options;
  setenv(variable, options.c_str(), 1);
}

// Runs host_crash_handler INSTALL MODE SIGNAL with the log in `dir`.
Outcome run_host(const TempDir& dir, const std::string& install, const std::string& mode,
                 const std::string& signal, bool xml, bool env_install = false) {
  const std::string host = std::string(VANTREL_TEST_HOSTS_DIR) + "/host_crash_handler";
  const std::string err_path = dir.path + "/.stderr";
  const pid_t child = fork();
  if (child == 0) {
    alarm(20);
    setenv("QZ_TRACE_LOGDIR", dir.path.c_str(), 1);
    setenv("QZ_TRACE_CONFIGFILE", "/nonexistent/none.ini", 1);
    setenv("QZ_TRACE_XML", xml ? "1" : "0", 1);
    setenv("QZ_TRACE_CRASH", env_install ? "1" : "0", 1);
    add_sanitizer_options("ASAN_OPTIONS");
    add_sanitizer_options("TSAN_OPTIONS");
    if (!freopen(err_path.c_str(), "w", stderr)) _exit(120);
    execl(host.c_str(), host.c_str(), install.c_str(), mode.c_str(), signal.c_str(),
          static_cast<char*>(nullptr));
    _exit(121);
  }
  int status = 0;
  waitpid(child, &status, 0);
  Outcome outcome;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  outcome.err = read_file(err_path);
  std::remove(err_path.c_str());
  const std::vector<std::string> files = dir.files();
  if (files.size() == 1) {
    outcome.log_path = dir.path + "/" + files[0];
    outcome.log = read_file(outcome.log_path);
  }
  return outcome;
}

bool well_formed(const std::string& path) {
  const std::string command = "xmllint --noout '" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

// The record's line: every column, then the description (which may go on
// with the address).
std::string text_line(const std::string& description) {
  return "| |1|3|1|3|order|17|order|17|check|3|ann|arch|dev/<&>||" + description;
}

struct Case {
  const char* signal;
  int number;
  const char* mode;
  bool xml;
  const char* description;  // as the record writes it
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << c.signal << ' ' << c.mode << (c.xml ? " xml" : " text");
}

class CrashRecord : public ::testing::TestWithParam<Case> {};

TEST_P(CrashRecord, NamesSignalStepsAndActorsThenDiesOfTheSignal) {
  const Case& c = GetParam();
  TempDir dir;
  const Outcome outcome = run_host(dir, "api", c.mode, c.signal, c.xml);
  EXPECT_EQ(outcome.signal, c.number);
  // Standard error always gets the text form, once.
  EXPECT_EQ(occurrences(outcome.err, text_line(c.description)), 1u) << outcome.err;
  EXPECT_NE(outcome.err.find("\n  #0 "), std::string::npos);
  ASSERT_FALSE(outcome.log.empty());
  if (!c.xml) {
    EXPECT_EQ(occurrences(outcome.log, text_line(c.description)), 1u) << outcome.log;
    EXPECT_NE(outcome.log.find("|>>|A| |"), std::string::npos);
    return;
  }
  EXPECT_TRUE(well_formed(outcome.log_path)) << outcome.log;
  const std::string crash = std::string("<Crash\nSignal=\"") + c.signal + "\"\nNumber=\"" +
                            std::to_string(c.number) + "\"";
  EXPECT_EQ(occurrences(outcome.log, crash), 1u) << outcome.log;
  EXPECT_NE(outcome.log.find(std::string("\n") + c.description), std::string::npos);
  EXPECT_NE(outcome.log.find("<Callee\nName=\"check\"\nId=\"3\"/>\n</Workflow>\n<Actors\n"
                             "User=\"ann\"\nArchitect=\"arch\"\nDeveloper=\"dev/&lt;&amp;&gt;\"/>"),
            std::string::npos);
  EXPECT_NE(outcome.log.find("<Stack>\n<Frame>"), std::string::npos);
  EXPECT_EQ(outcome.log.substr(outcome.log.size() - 18), "</Msg>\n</Vantrel>\n");
}

std::vector<Case> raised_cases() {
  std::vector<Case> cases;
  const struct {
    const char* name;
    int number;
    const char* description;
  } signals[] = {{"SIGSEGV", SIGSEGV, "Crash: SIGSEGV (signal 11)"},
                 {"SIGBUS", SIGBUS, "Crash: SIGBUS (signal 7)"},
                 {"SIGFPE", SIGFPE, "Crash: SIGFPE (signal 8)"},
                 {"SIGILL", SIGILL, "Crash: SIGILL (signal 4)"},
                 {"SIGABRT", SIGABRT, "Crash: SIGABRT (signal 6)"}};
  for (bool xml : {false, true}) {
    for (const auto& s : signals) cases.push_back({s.name, s.number, "raise", xml, s.description});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Raised, CrashRecord, ::testing::ValuesIn(raised_cases()));

// Real faults carry the faulting address (abort() does not: it is sent).
INSTANTIATE_TEST_SUITE_P(Faults, CrashRecord,
                         ::testing::Values(Case{"SIGSEGV", SIGSEGV, "fault", false,
                                                "Crash: SIGSEGV (signal 11) at address 0x10"},
                                           Case{"SIGBUS", SIGBUS, "fault", true,
                                                "Crash: SIGBUS (signal 7) at address 0x"},
                                           Case{"SIGABRT", SIGABRT, "fault", false,
                                                "Crash: SIGABRT (signal 6)"}));

TEST(CrashHandler, IsOffUnlessAskedFor) {
  TempDir dir;
  const Outcome outcome = run_host(dir, "none", "raise", "SIGSEGV", false);
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.log.find("Crash:"), std::string::npos);
  EXPECT_EQ(outcome.err.find("Crash:"), std::string::npos);
}

TEST(CrashHandler, EnvironmentVariableInstallsItAtStart) {
  TempDir dir;
  const Outcome outcome = run_host(dir, "env", "raise", "SIGILL", false, true);
  EXPECT_EQ(outcome.signal, SIGILL);
  EXPECT_EQ(occurrences(outcome.log, text_line("Crash: SIGILL (signal 4)")), 1u);
}

TEST(CrashHandler, HostHandlerInstalledBeforeStillRunsAfterTheRecord) {
  TempDir dir;
  const Outcome outcome = run_host(dir, "api", "chained", "SIGSEGV", false);
  EXPECT_EQ(outcome.signal, SIGSEGV);
  const std::size_t record = outcome.err.find("Crash: SIGSEGV");
  const std::size_t host = outcome.err.find("host handler ran\n");
  ASSERT_NE(record, std::string::npos);
  ASSERT_NE(host, std::string::npos);
  EXPECT_LT(record, host);
}

TEST(CrashHandler, RecordCountsTheCrossCallsInProgress) {
  TempDir dir;
  const Outcome outcome = run_host(dir, "api", "call", "SIGABRT", false);
  EXPECT_EQ(outcome.signal, SIGABRT);
  EXPECT_EQ(occurrences(outcome.log,
                        "| |0|0|0|0|remote|9|||remote|9|bea||||Crash: SIGABRT "
                        "(signal 6); cross calls: 1 incoming, 0 outgoing\n"),
            1u)
      << outcome.log;
}

// The crashing thread holds the message lock in the middle of a record: the
// started text line is ended and the record follows; in XML the started
// element is left out so that the document stays whole.
TEST(CrashHandler, CrashInsideARecordStillWritesTheRecord) {
  for (bool xml : {false, true}) {
    TempDir dir;
    const Outcome outcome = run_host(dir, "api", "stream", "SIGSEGV", xml);
    EXPECT_EQ(outcome.signal, SIGSEGV);
    if (xml) {
      EXPECT_TRUE(well_formed(outcome.log_path)) << outcome.log;
      EXPECT_EQ(outcome.log.find("half a record"), std::string::npos);
      EXPECT_EQ(occurrences(outcome.log, "<Crash\nSignal=\"SIGSEGV\""), 1u);
    } else {
      EXPECT_NE(outcome.log.find("|half a record \n"), std::string::npos) << outcome.log;
      EXPECT_EQ(occurrences(outcome.log, text_line("Crash: SIGSEGV (signal 11)")), 1u);
    }
  }
}

// No record was complete in the document yet (the first one is being
// written), or the destination has no file at all (inactive settings): the
// record gets a document or a file of its own.
TEST(CrashHandler, RecordWithoutAnEarlierOneBeginsItsOwnDocument) {
  for (const char* mode : {"first", "quiet"}) {
    TempDir dir;
    const Outcome outcome = run_host(dir, "api", mode, "SIGFPE", true);
    EXPECT_EQ(outcome.signal, SIGFPE);
    EXPECT_TRUE(well_formed(outcome.log_path)) << mode << '\n' << outcome.log;
    EXPECT_EQ(outcome.log.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel\nLogFile=\"" +
                                    outcome.log_path + "\"\nProcess=\"host_crash_handler\"",
                                0),
              0u)
        << mode << '\n'
        << outcome.log;
    EXPECT_EQ(occurrences(outcome.log, "<Crash\nSignal=\"SIGFPE\""), 1u) << mode;
  }
}

// Two threads crash at once: one record, and the process ends of the signal
// well before the alarm.
TEST(CrashHandler, TwoThreadsCrashingAtOnceNeverHang) {
  for (bool xml : {false, true}) {
    TempDir dir;
    const Outcome outcome = run_host(dir, "api", "storm", "SIGSEGV", xml);
    EXPECT_EQ(outcome.signal, SIGSEGV);
    const std::string crash = xml ? "<Crash\nSignal=\"SIGSEGV\"" : "Crash: SIGSEGV (signal 11)";
    EXPECT_EQ(occurrences(outcome.log, crash), 1u) << outcome.log;
    // The second thread waits for the process to end rather than write.
    EXPECT_EQ(occurrences(outcome.err, "Crash: SIGSEGV"), 1u) << outcome.err;
    if (xml) {
      EXPECT_TRUE(well_formed(outcome.log_path)) << outcome.log;
    }
  }
}

// vantrel-timeline marks the crash on its thread's lane and ends the scopes
// the thread still had open there, rather than at its last record.
TEST(CrashHandler, TimelineShowsTheCrashAndTheScopesItEnded) {
  for (bool xml : {false, true}) {
    TempDir dir;
    const Outcome outcome = run_host(dir, "api", "raise", "SIGSEGV", xml);
    ASSERT_FALSE(outcome.log_path.empty());
    const std::string json = dir.path + "/timeline.json";
    const std::string html = dir.path + "/timeline.html";
    const std::string otlp = dir.path + "/timeline.otlp.json";
    const std::string command = std::string(VANTREL_BINARY_DIR) +
                                "/tools/vantrel-timeline --json '" + json + "' --html '" + html +
                                "' --otlp '" + otlp + "' '" + outcome.log_path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string events = read_file(json);
    EXPECT_EQ(occurrences(events, "\"name\":\"Crash: SIGSEGV (signal 11)\",\"cat\":\"crash\""), 1u)
        << events;
    EXPECT_EQ(occurrences(events, "\"ended_by_crash\":true"), 4u) << events;
    EXPECT_EQ(occurrences(events, "\"unclosed\":true"), 0u) << events;
    EXPECT_EQ(occurrences(read_file(html), "<rect class=\"b crash l0\""), 1u);
    const std::string spans = read_file(otlp);
    EXPECT_EQ(occurrences(spans, "\"message\":\"ended by a crash\""), 4u) << spans;
    EXPECT_EQ(occurrences(spans, "\"name\":\"Crash: SIGSEGV (signal 11)\""), 1u) << spans;
  }
}

// The record's own formatting, which cannot use the library's.
TEST(CrashText, FormatsTimesNumbersAndXmlTextWithoutAllocating) {
  char buffer[256];
  const struct {
    std::int64_t ms;
    const char* text;
  } times[] = {{0, "1970/01/01 00:00:00.000"},
               {1192742467045, "2007/10/18 21:21:07.045"},
               {951782400000, "2000/02/29 00:00:00.000"},
               {4102444799999, "2099/12/31 23:59:59.999"}};
  for (const auto& t : times) {
    Vantrel::Crash::Text out(buffer, sizeof buffer);
    Vantrel::Crash::put_utc_time(out, t.ms);
    EXPECT_EQ(std::string(out.data(), out.size()), t.text);
  }
  const struct {
    std::string in;
    const char* out;
  } texts[] = {{"a<b>&\"c", "a&lt;b&gt;&amp;&quot;c"},
               {std::string("\t\n\r\x7f\x01", 5), "&#9;&#10;&#13;&#127;&#9217;"},
               {"\xc3\xa9", "\xc3\xa9"},
               {"\xc3", "&#65533;"},
               {"\xe2\x82x", "&#65533;x"},
               {"\xff\xfe", "&#65533;&#65533;"}};
  for (const auto& t : texts) {
    Vantrel::Crash::Text out(buffer, sizeof buffer);
    out.xml(t.in.data(), t.in.size());
    EXPECT_EQ(std::string(out.data(), out.size()), t.out) << t.in;
  }
  Vantrel::Crash::Text small(buffer, 4);
  small.hex(0xabcdef);
  EXPECT_EQ(std::string(small.data(), small.size()), "0xab");  // cut, never past the end
}

}  // namespace

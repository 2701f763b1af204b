// Hosts that die of a fatal signal, and the records each case of
// cases/crash_handler.txt says they leave. A host that hangs dies of SIGALRM.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>
#include <sstream>

#include "CrashHandler.h"
#include "hosts/context_support.h"

namespace {

using namespace logfile_support;

// A "run" line of the cases, then the checks that follow it.
using Case = std::vector<std::string>;

std::vector<Case> load_cases() {
  std::ifstream in(VANTREL_SOURCE_DIR "/tests/src/cases/crash_handler.txt");
  std::vector<Case> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("run ", 0) == 0) cases.emplace_back();
    if (!line.empty() && line[0] != '#' && !cases.empty()) cases.back().push_back(line);
  }
  return cases;
}

// Runs the host with `args` (" INSTALL MODE SIGNAL"); returns the signal that
// ended it and fills `out` with what it left.
int run_host(const TempDir& dir, const std::string& format, const std::string& args,
             std::map<std::string, std::string>& out) {
  const std::string signals =  // the sanitizers' runtimes leave fatal signals alone
      ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0 ";
  const std::string command =
      "exec env QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini" +
      " QZ_TRACE_XML=" + (format == "xml" ? "1" : "0") +
      " QZ_TRACE_CRASH=" + (args.find(" env ") == 0 ? "1" : "0") + " ASAN_OPTIONS=$ASAN_OPTIONS" +
      signals + "TSAN_OPTIONS=$TSAN_OPTIONS" + signals +
      VANTREL_TEST_HOSTS_DIR "/host_crash_handler" + args + " 2>&1";
  int status = 0;
  out["err"] = run(command, &status);
  if (dir.files().size() == 1) out["path"] = dir.path + "/" + dir.files()[0];
  out["log"] = read_file(out["path"]);
  const std::string timeline =
      "cd " + dir.path + " && " VANTREL_BINARY_DIR "/tools/vantrel-timeline" +
      " --json t.json --html t.html --otlp t.otlp '" + out["path"] + "' 2>/dev/null";
  if (!out["path"].empty() && std::system(timeline.c_str()) == 0)
    for (const char* kind : {"json", "html", "otlp"})
      out[kind] = read_file(dir.path + "/t." + kind);
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

class CrashRecord : public ::testing::TestWithParam<Case> {};

TEST_P(CrashRecord, LeavesTheRecordsOfItsCase) {
  std::istringstream run(GetParam()[0]);
  std::string format, args;
  run >> format >> format;
  std::getline(run, args);
  TempDir dir;
  std::map<std::string, std::string> out;
  EXPECT_EQ(run_host(dir, format, args, out), std::stoi(args.substr(args.rfind(' '))));
  if (format == "xml") {
    EXPECT_EQ(std::system(("xmllint --noout '" + out["path"] + "' 2>/dev/null").c_str()), 0)
        << out["log"];
  }
  for (auto check = GetParam().begin() + 1; check != GetParam().end(); ++check) {
    const std::size_t space = check->find(' '), text_at = check->find(' ', space + 1) + 1;
    const std::string how = check->substr(space + 1, text_at - space - 2);
    const std::string& in = out[check->substr(0, space)];
    std::string text = cases::unescape(check->substr(text_at));
    for (std::size_t at; (at = text.find("{log}")) != std::string::npos;)
      text.replace(at, 5, out["path"]);
    SCOPED_TRACE(*check + "\nin:\n" + in);
    if (how == "$") {
      EXPECT_EQ(in.substr(in.size() - std::min(in.size(), text.size())), text);
    } else if (how == "+") {
      EXPECT_GE(occurrences(in, text), 1u);
    } else {
      EXPECT_EQ(occurrences(in, text), std::stoul(how));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CrashRecord, ::testing::ValuesIn(load_cases()));

// The record's own formatting, which cannot use the library's.
TEST(CrashText, FormatsTimesNumbersAndXmlTextWithoutAllocating) {
  for (const cases::Fields& row : context_support::case_rows("crash_text.txt")) {
    char buffer[256];
    Vantrel::Crash::Text out(buffer, row[0] == "hex4" ? 4 : sizeof buffer);
    if (row[0] == "time") Vantrel::Crash::put_utc_time(out, std::stoll(row[1]));
    if (row[0] == "hex4") out.hex(std::stoull(row[1], nullptr, 16));
    if (row[0] == "xml") out.xml(row[1].data(), row[1].size());
    EXPECT_EQ(std::string(out.data(), out.size()), row[2]) << row[0] << " " << row[1];
  }
}

}  // namespace

// Tests of vantrel-timeline: the cases of cases/, real hosts' logs, the OTLP
// output (otlp_check.js, after make test-otlp) and the page in Chromium
// (timeline_browser.js, after make test-browser).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>

#include "src/logfile_support.h"
#include "tools/tool_cases.h"
#include "zeltools/cases_support.h"

namespace {

using namespace logfile_support;
using namespace tool_cases;

struct ToolRun {
  int status = 0;
  std::string out, err;
};

// Runs the tool with `arguments`, a shell command line.
ToolRun run_tool(const TempDir& dir, const std::string& arguments) {
  ToolRun result;
  const std::string err = dir.path + "/stderr.txt";
  result.out = run(VANTREL_BINARY_DIR "/tools/vantrel-timeline " + arguments + " 2>'" + err + "'",
                   &result.status);
  result.err = read_file(err);
  std::remove(err.c_str());
  result.status = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
  return result;
}

// The "json", "events" or "otlp" digest of the output `file` (timeline_digest.py).
std::string digest(const std::string& kind, const std::string& file) {
  int status = 0;
  std::string lines = run(
      "python3 '" VANTREL_SOURCE_DIR "/tests/tools/timeline_digest.py' " + kind + " '" + file + "'",
      &status);
  EXPECT_EQ(status, 0) << "not valid JSON: " << read_file(file);
  return lines;
}

// The files in `dir` for the shell, in the order of their names (which hold
// their time); the shell expands them before the tool makes an output there.
std::string logs_in(const TempDir& dir) { return " '" + dir.path + "'/*"; }

// A text record of process `pid`, thread `tid`, `ms` milliseconds after
// 10:00:00 (seconds wrap at a minute), in the workflow `root` ("order|7").
std::string text_record(int pid, int tid, int ms, char tag, const std::string& text,
                        const std::string& root = "|") {
  char time[16];
  std::snprintf(time, sizeof time, "%02d.%03d", ms / 1000 % 60, ms % 1000);
  return "2026/12/06 10:00:" + std::string(time) + "|>=| | |" + std::to_string(pid) + "|" +
         std::to_string(tid) + "|" + tag + "|||||" + root + "|||||||||" + text + "\n";
}

// A case file: "=== file NAME" writes an input (escaped as cases_support.h
// says; "noeol" after NAME drops the last newline); "=== run ARGS" runs the
// tool (DIR is the case's directory); after a run "=== status N",
// "=== stdout", "=== stderr" (empty where absent), "=== json" and "=== otlp"
// (digests of DIR/out.json, DIR/out.otlp.json) and "=== html" (lines of the
// whole DIR/out.html) say what it gives; the inputs stay in DIR. With
// `inputs_only` the case only writes its inputs.
class Case {
 public:
  void play(const std::string& name, bool inputs_only = false) {
    for (const auto& [head, body] : case_sections(name))
      if (!inputs_only || head.compare(0, 5, "file ") == 0) section(head, body);
    section("end", "");
  }
  TempDir dir;

 private:
  std::string in_dir(const std::string& text) const {
    return std::regex_replace(text, std::regex("DIR"), dir.path);
  }
  void section(const std::string& head, const std::string& body) {
    SCOPED_TRACE("=== " + head + " after run " + last_run);
    const std::string kind = head.substr(0, head.find(' ')),
                      arg = head.substr(std::min(head.size(), kind.size() + 1));
    if (kind == "file") {
      const std::string path = dir.path + "/" + cases::unescape(arg.substr(0, arg.find(' ')));
      ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
      const bool noeol = arg.find(" noeol") != std::string::npos && !body.empty();
      std::ofstream(path, std::ios::binary) << cases::unescape(body.substr(0, body.size() - noeol));
    } else if (kind == "run" || kind == "end") {  // what the last run gave
      EXPECT_EQ(tool.out, in_dir(want_out)) << "standard output of " << last_run;
      EXPECT_EQ(tool.err, in_dir(want_err)) << "standard error of " << last_run;
      want_out = want_err = "";
      EXPECT_EQ(system(("rm -f '" + dir.path + "'/out.*").c_str()), 0);
      if (kind == "run") tool = run_tool(dir, cases::unescape(in_dir(last_run = arg)));
    } else if (kind == "status") {
      EXPECT_EQ(tool.status, std::stoi(arg)) << tool.err;
    } else if (kind == "stdout" || kind == "stderr") {
      (kind == "stdout" ? want_out : want_err) = body;
    } else if (kind == "json" || kind == "otlp") {
      EXPECT_EQ(digest(kind, dir.path + (kind == "json" ? "/out.json" : "/out.otlp.json")), body);
    } else {
      EXPECT_EQ(kind, "html");
      const std::string page = read_file(dir.path + "/out.html");
      EXPECT_EQ(page.rfind("</html>\n"), page.size() - 8) << "a whole page";
      EXPECT_EQ(page.find('\0'), std::string::npos) << "stray bytes in the page";
      for (const std::string& line : split(in_dir(body), '\n'))
        EXPECT_NE(page.find(line), std::string::npos) << line;
    }
  }
  ToolRun tool;
  std::string last_run, want_out, want_err;
};

std::vector<std::string> case_names() {
  int status = 0;
  return split(
      run("ls '" VANTREL_SOURCE_DIR "/tests/tools/cases' | sed -n 's/\\.txt$//p'", &status), '\n');
}

// Each case of cases/ is a test of its own.
class Cases : public ::testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Timeline, Cases, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

TEST_P(Cases, GiveTheirOutputs) { Case().play(GetParam()); }

class HostLog : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, HostLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "xml" : "text"; });

// One run of the host per format, read as a summary from its files in any
// order and as JSON (events without times and ids).
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  run_host(dir, "host_timeline_work", GetParam());
  const std::string logs = logs_in(dir);
  ToolRun summary = run_tool(dir, "--merge-ids" + logs);
  EXPECT_EQ(summary.status, 0) << summary.err;
  EXPECT_EQ(run_tool(dir, "--merge-ids $(ls -r" + logs + ")").out, summary.out) << "any order";
  // Roots first, six of them, the longest lasting at least what the host slept.
  std::smatch m;
  const std::string roots = split(summary.out, '\n')[1];
  EXPECT_TRUE(std::regex_match(roots, m, std::regex("order#\\* +6( +[0-9.]+){4} +([0-9.]+)")) &&
              std::stod(m[2]) >= 10)
      << summary.out;
  EXPECT_EQ(split(summary.out, '\n').back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
  EXPECT_EQ(run_tool(dir, "--json '" + dir.path + "/out.json'" + logs).status, 0);
  EXPECT_EQ(digest("events", dir.path + "/out.json"),
            read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/host_" +
                      std::string(GetParam() ? "xml" : "text") + ".events"));
}

// Two real processes: the callee's incoming call is the child of the
// caller's; the official definitions and otlp_check.js accept the file.
TEST(TimelineOtlp, RealCallerAndCalleeLinkedInAValidFile) {
  TempDir dir;
  run_host(dir, "host_timeline_work caller");
  const std::string out = dir.path + "/out.otlp.json";
  ASSERT_EQ(run_tool(dir, "--otlp '" + out + "'" + logs_in(dir)).status, 0);
  std::map<std::string, std::vector<std::string>> spans;  // by name: the digest's fields
  for (const std::string& row : split(digest("otlp", out), '\n'))
    spans[row.substr(0, row.find('\t'))] = split(row, '\t');
  const std::vector<std::string>&order = spans.at("order#7"), &call = spans.at("calling pricing"),
        &incoming = spans.at("incoming pricing call"), &price = spans.at("price#p1");
  EXPECT_EQ(call[3] + " " + incoming[3] + " " + price[3],
            order[2] + " " + call[2] + " " + incoming[2])
      << "each span's parent";
  const std::string tools = VANTREL_BINARY_DIR "/otlp-tools",
                    schema =
                        "/node_modules/@opentelemetry/otlp-proto-exporter-base/build/src/"
                        "generated/root.js";
  if (::access((tools + schema).c_str(), R_OK) != 0)
    GTEST_SKIP() << "needs node and @opentelemetry/otlp-proto-exporter-base 0.51.1 in " << tools
                 << " (make test-otlp installs them)";
  int status = 0;
  EXPECT_EQ(run("node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools + "' '" + out +
                    "' 2>&1",
                &status),
            "spans=4 traces=1 cross_process=1\n");
}

// The cross call is still linked where both of its spans left memory for the
// file early, far from the start of their process's spans.
TEST(TimelineOtlp, CallLinkedWhenBothSpansLeftMemoryEarly) {
  TempDir dir;
  const int fill = 3000;  // about a megabyte of spans per process, before and after
  const std::vector<cases::Fields> workflow = cases::read("tools/cases/otlp_spill.rows");
  for (const int pid : {10, 20}) {
    std::ofstream log(dir.path + "/p" + std::to_string(pid) + "_x.log");
    for (int ms = 0; ms < 3 * fill; ++ms) {
      if (ms < fill || ms >= 2 * fill)
        log << text_record(pid, pid, ms, '{', "filler") +
                   text_record(pid, pid, ms, '}', "filler: 0.0001");
      for (const cases::Fields& row : workflow)
        if (std::stoi(row[0]) == pid && std::stoi(row[1]) == ms)
          log << text_record(pid, pid, ms, row[2].at(0), row[3], "order|7");
    }
  }
  // The linked spans' parents and kinds (client 3 calls server 2), the same
  // whether the file can seek back to write the links or is a pipe.
  const std::string logs = " '" + dir.path + "'/*.log", out = dir.path + "/out.otlp.json";
  ASSERT_EQ(run_tool(dir, "--host web1 --otlp '" + out + "'" + logs).status, 0);
  EXPECT_TRUE(run_tool(dir, "--host web1 --otlp /dev/stdout" + logs).out == read_file(out));
  const std::string rows = digest("otlp", out);
  EXPECT_EQ(occurrences(rows, "filler\t"), 4u * fill);
  EXPECT_EQ(std::regex_replace(rows, std::regex("filler\t.*\n"), ""),
            read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/otlp_spill.spans"));
}

// Two pages in Chromium show all their lanes and bars, zoom, pan and show a
// bar's details: one of two processes (a cross call, an exception, a scope
// never closed) and one of 100,000 scopes.
TEST(TimelineBrowser, PagesShowEveryLaneAndBarZoomPanAndShowDetails) {
  const std::string tools = VANTREL_BINARY_DIR "/browser-tools";
  if (::access("/usr/bin/chromium", X_OK) != 0 ||
      ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
    GTEST_SKIP() << "needs /usr/bin/chromium (Debian chromium), node and playwright-core in "
                 << tools << " (make test-browser installs them)";
  Case two;
  two.play("two_processes", true);  // its outputs are its own test's
  TempDir big;
  std::ofstream log(big.path + "/big.log");
  for (int ms = 0; ms < 50000; ++ms)
    for (const auto& [tag, text] : std::initializer_list<std::pair<char, const char*>>{
             {'{', "outer"}, {'{', "inner"}, {'}', "inner: 0.0004"}, {'}', "outer: 0.0009"}})
      log << text_record(10, 11 + ms % 4, ms, tag, text);
  log.close();
  for (const auto& [dir, counts] :
       {std::pair<TempDir*, const char*>(&two.dir, "2 6"), {&big, "4 100000"}}) {
    const std::string page = dir->path + "/page.html";
    ASSERT_EQ(run_tool(*dir, "--html '" + page + "'" + logs_in(*dir)).status, 0);
    int status = 0;
    const std::string verdict =
        run("node '" VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js' '" + tools +
                "' check '" + page + "' " + counts + " 2>&1",
            &status);
    EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
  }
}

}  // namespace

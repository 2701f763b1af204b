// Tests of vantrel-timeline: logs written by a real multi-threaded host in
// both formats, and small hand-written logs for the edge cases. The JSON is
// read back with Python's json module.
#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;
using logfile_support::occurrences;
using logfile_support::run;
using logfile_support::TempDir;

// --- The host's logs, text and XML ------------------------------------------

// 3 threads x 2 requests x (order, check, ada, price, call, audit).
constexpr std::size_t host_scopes = 36;

void expect_json_of_host(const TempDir& dir, const std::vector<std::string>& logs, bool xml) {
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::vector<Event> events = read_json(dir, dir.path + "/out.json");
  std::remove((dir.path + "/out.json").c_str());
  std::vector<Event> scopes = scopes_of(events);
  EXPECT_EQ(scopes.size(), host_scopes);
  expect_nesting(scopes);
  std::size_t instants = 0, thread_names = 0, process_names = 0;
  for (const Event& e : events) {
    instants += e.ph == "i";
    thread_names += e.ph == "M" && e.name == "thread_name";
    process_names += e.ph == "M" && e.name == "process_name" && e.has("host_timeline_work");
  }
  EXPECT_EQ(instants, 2u + 6u);  // start, stop and one "priced" per request
  EXPECT_EQ(thread_names, 4u);
  EXPECT_EQ(process_names, 1u);
  std::map<std::string, std::size_t> per_root;
  for (const Event& e : scopes) {
    EXPECT_EQ(e.name == "audit#a", e.has("\"exception\": true")) << e.name;
    EXPECT_FALSE(e.has("unclosed")) << e.name;
    EXPECT_GE(e.dur, 0);
    if (!xml) continue;
    // The XML records carry the workflow: the scopes of one request share its root.
    std::size_t at = e.args.find("\"root\": \"");
    ASSERT_NE(at, std::string::npos) << e.name << " " << e.args;
    std::string root = e.args.substr(at + 9, e.args.find('"', at + 9) - at - 9);
    ++per_root[root];
    if (e.name.compare(0, 6, "order#") == 0) {
      EXPECT_EQ(root, e.name);
    }
    if (e.name == "ada") {
      EXPECT_TRUE(e.has("\"architect\": \"ada\"")) << e.args;
    }
    EXPECT_TRUE(e.has("\"user\": \"ann\"")) << e.args;
  }
  EXPECT_EQ(per_root.size(), xml ? 6u : 0u);
  for (const auto& root : per_root) EXPECT_EQ(root.second, 6u) << root.first;
}

void expect_summary_of_host(const std::string& out,
                            const std::map<std::string, Measured>& measured) {
  std::map<std::string, std::vector<double>> rows = summary_rows(out);
  ASSERT_EQ(measured.size(), 10u);  // six orders and four other labels
  for (const auto& entry : measured) {
    SCOPED_TRACE(entry.first);
    ASSERT_EQ(rows.count(entry.first), 1u) << out;
    const std::vector<double>& row = rows[entry.first];
    const Measured& host = entry.second;
    EXPECT_EQ(row[0], static_cast<double>(host.count));
    // The scope measures itself on a clock of whole milliseconds, inside the
    // host's bracket: never more than the host saw, never less than the host
    // slept in it (a loaded machine may stretch the bracket a lot).
    double tick = 1.0 * static_cast<double>(host.count);
    EXPECT_LE(row[1], host.total + tick);
    EXPECT_GE(row[1], host.slept - tick);
    EXPECT_LE(row[5], host.max + 1.0);
    EXPECT_GE(row[5], host.max_slept - 1.0);
    EXPECT_LE(row[3], row[5]);
    EXPECT_LE(row[4], row[5]);
  }
  std::vector<std::string> lines = split(out, '\n');
  EXPECT_EQ(lines.back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
  double previous_total = 1e300;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    double total = summary_rows(lines[0] + "\n" + lines[i]).begin()->second[1];
    EXPECT_LE(total, previous_total) << "sorted by total: " << lines[i];
    previous_total = total;
  }
}

void expect_html_of_host(const TempDir& dir, const std::vector<std::string>& logs) {
  ToolRun tool = run_tool(dir, "--html '" + dir.path + "/out.html'", logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::string html = read_file(dir.path + "/out.html");
  std::remove((dir.path + "/out.html").c_str());
  EXPECT_EQ(occurrences(html, "<rect class=\"b "), host_scopes);
  EXPECT_EQ(occurrences(html, "<title>order#"), 6u);
  EXPECT_EQ(occurrences(html, "\nleft by an exception"), 6u);
  EXPECT_EQ(occurrences(html, "<text x="), 4u);  // one lane per thread
  EXPECT_EQ(occurrences(html, "src="), 0u);
  EXPECT_EQ(occurrences(html, "href"), 0u);
  EXPECT_EQ(occurrences(html, "http"), 2u);  // the SVG namespace, in markup and script
  EXPECT_NE(html.find("</html>"), std::string::npos);
}

// A killed process: the last file ends inside the workflow root's closing
// record. The records before it are kept, and its scope never closes.
void expect_cut_off_xml_reported(const TempDir& dir, const std::vector<std::string>& logs) {
  std::string last = read_file(logs.back());
  std::size_t cut = last.rfind("Scope=\"Close\"");
  ASSERT_NE(cut, std::string::npos);
  write_file(logs.back(), last.substr(0, cut));
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", logs);
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(logs.back() + ":"), std::string::npos) << tool.err;
  EXPECT_NE(tool.err.find("the file ends inside this record (cut off?)"), std::string::npos)
      << tool.err;
  std::vector<Event> scopes = scopes_of(read_json(dir, dir.path + "/out.json"));
  EXPECT_EQ(scopes.size(), host_scopes);
  EXPECT_EQ(std::count_if(scopes.begin(), scopes.end(),
                          [](const Event& e) { return e.has("\"unclosed\": true"); }),
            1);
}

class HostLog : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, HostLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "xml" : "text"; });

// One run of the host per format, read as JSON, as a summary and as HTML.
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  const std::map<std::string, Measured> measured = run_host(dir, GetParam());
  std::vector<std::string> logs = logs_in(dir);
  ASSERT_GT(logs.size(), 1u) << "the host rotates its log";
  expect_json_of_host(dir, logs, GetParam());
  ToolRun summary = run_tool(dir, "", logs);
  EXPECT_EQ(summary.status, 0) << summary.err;
  expect_summary_of_host(summary.out, measured);
  std::reverse(logs.begin(), logs.end());
  EXPECT_EQ(run_tool(dir, "", logs).out, summary.out) << "rotated files in any order";
  // One row per step name: the workflow roots, which contain the rest, come first.
  ToolRun merged = run_tool(dir, "--merge-ids --top 2", logs);
  std::vector<std::string> merged_lines = split(merged.out, '\n');
  ASSERT_EQ(merged_lines.size(), 4u) << merged.out;
  EXPECT_EQ(merged_lines[1].compare(0, 8, "order#* "), 0) << merged.out;
  EXPECT_EQ(summary_rows(merged.out)["order#*"][0], 6);
  expect_html_of_host(dir, logs);
  if (GetParam()) expect_cut_off_xml_reported(dir, logs_in(dir));
}

// --- Hand-written logs: durations, pairing and bad input -------------------

// A hand-written text log a.log, read as JSON: json(text) returns its scopes
// and leaves the run in `tool`.
class HandLog : public ::testing::Test {
 protected:
  std::vector<Event> json(const std::string& text) {
    write_file(log, text);
    tool = run_tool(dir, "--json '" + dir.path + "/out.json'", {log});
    return scopes_of(read_json(dir, dir.path + "/out.json"));
  }
  TempDir dir;
  std::string log = dir.path + "/a.log";
  ToolRun tool;
};

struct DurationCase {
  const char* printed;
  double ms;
};

class ClosingText : public ::testing::TestWithParam<DurationCase> {};
INSTANTIATE_TEST_SUITE_P(Durations, ClosingText,
                         ::testing::Values(DurationCase{"0", 0}, DurationCase{"0.008", 8},
                                           DurationCase{"1.5", 1500}, DurationCase{"5e-06", 0.005},
                                           DurationCase{"12.3457", 12345.7},
                                           DurationCase{"1:1", 61000}, DurationCase{"1:60", 120000},
                                           DurationCase{"1:0:5", 3605000},
                                           DurationCase{"1::1:1:1.5", 90061500}));

TEST_P(ClosingText, ElapsedTimeIsReadFromThePrintedDuration) {
  TempDir dir;
  std::string log = dir.path + "/a.log";
  // Opened the day before: the printed time stays within the log's span.
  write_file(log, "2026/12/05 00:00:00.000|>=| | |   10|  11|{|||||||||||||||work\n" +
                      text_record("00.000", '}', std::string("work: ") + GetParam().printed));
  ToolRun tool = run_tool(dir, "", {log});
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::vector<double> row = summary_rows(tool.out)["work"];
  ASSERT_EQ(row.size(), 6u) << tool.out;
  EXPECT_NEAR(row[1], GetParam().ms, 1e-6);
  std::remove(log.c_str());
}

TEST_F(HandLog, SiblingsWithinOneMillisecondDoNotOverlap) {
  std::vector<Event> scopes = json(
      text_record("00.000", '{', "outer") + text_record("00.000", '{', "first") +
      text_record("00.000", '}', "first: 0.0008") + text_record("00.000", '{', "second") +
      text_record("00.001", '}', "second: 0.0007") + text_record("00.001", '}', "outer: 0.0012"));
  EXPECT_EQ(tool.status, 0) << tool.err;
  ASSERT_EQ(scopes.size(), 3u);
  expect_nesting(scopes);
  EXPECT_TRUE(scopes[2].has("\"elapsed_ms\": 1.2")) << scopes[2].args;
  EXPECT_NEAR(scopes[2].dur, 1500, 1e-3) << "the outer scope reaches to its last child's end";
}

TEST_F(HandLog, UnmatchedClosingRecordIsReportedAndKept) {
  std::vector<Event> scopes =
      json(text_record("00.000", ' ', "started") + text_record("00.010", '}', "lost: 0.004") +
           text_record("00.011", '{', "next") + text_record("00.012", '}', "next: 0.001"));
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(log + ":2: closing record without its opening record"), std::string::npos)
      << tool.err;
  ASSERT_EQ(scopes.size(), 2u);
  EXPECT_TRUE(scopes[0].has("\"open_missing\": true"));
  EXPECT_NEAR(scopes[0].dur, 4000, 1e-3);
}

TEST_F(HandLog, TruncatedTextLogKeepsItsRecordsAndEndsOpenScopes) {
  std::string text = text_record("00.000", '{', "outer") + text_record("00.001", '{', "inner") +
                     text_record("00.002", ' ', "progress") +
                     text_record("00.005", '}', "inner: 0.004");
  // Cut inside the last record's head.
  std::vector<Event> scopes = json(text.substr(0, text.size() - 30));
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(log + ":4: the file ends with an incomplete record"), std::string::npos)
      << tool.err;
  ASSERT_EQ(scopes.size(), 2u);
  for (const Event& e : scopes) EXPECT_TRUE(e.has("\"unclosed\": true")) << e.name;
  // Both end at the thread's last record, the message at 00.002.
  EXPECT_EQ(scopes[0].name, "inner");
  EXPECT_DOUBLE_EQ(scopes[0].dur, 1000);
  EXPECT_DOUBLE_EQ(scopes[1].dur, 2000);
  EXPECT_DOUBLE_EQ(scopes[0].ts + scopes[0].dur, scopes[1].ts + scopes[1].dur);
}

TEST(TimelineBadInput, RecordsOfTheOtherFormatAreReportedAndSkipped) {
  TempDir dir;
  std::string text_log = dir.path + "/a.log";
  std::string xml_log = dir.path + "/b.xml";
  std::string xml_record =
      "<Msg Rank=\"1\" Time=\"2026/12/06 10:00:00.001\" Pid=\"20\" Tid=\"21\" Imp=\"==\">\n"
      "<Workflow Scope=\"Open\"/>\nwork\n</Msg>\n";
  write_file(text_log,
             text_record("00.000", '{', "a") + xml_record + text_record("00.002", '}', "a: 0.002"));
  write_file(xml_log,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel Process=\"p\" Pid=\"20\">\n" +
                 xml_record + text_record("00.002", ' ', "stray") +
                 "<Msg Rank=\"2\" Time=\"2026/12/06 10:00:00.004\" Pid=\"20\" Tid=\"21\" "
                 "Imp=\"==\">\n<Workflow Scope=\"Close\"/>\nwork: 0.003\n</Msg>\n"
                 "</Vantrel>\n");
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", {text_log, xml_log});
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(text_log + ":2: XML markup in a text log"), std::string::npos)
      << tool.err;
  EXPECT_NE(tool.err.find(xml_log + ":7: text outside a record"), std::string::npos) << tool.err;
  std::vector<Event> scopes = scopes_of(read_json(dir, dir.path + "/out.json"));
  EXPECT_EQ(scopes.size(), 2u);
}

TEST(TimelineBadInput, BrokenXmlResumesAtTheNextRecord) {
  TempDir dir;
  std::string xml_log = dir.path + "/b.xml";
  write_file(xml_log,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel Process=\"p\" Pid=\"20\">\n"
             "<Msg Rank=\"1\" Time=\"2026/12/06 10:00:00.001\" Pid=\"20\" Tid=\"21\" Imp=\"==\">\n"
             "first & broken\n</Msg>\n"
             "<Msg Rank=\"2\" Time=\"2026/12/06 10:00:00.002\" Pid=\"20\" Tid=\"21\" Imp=\"==\">\n"
             "second\n</Msg>\n</Vantrel>\n");
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", {xml_log});
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(xml_log + ":4: XML error: "), std::string::npos) << tool.err;
  std::vector<Event> events = read_json(dir, dir.path + "/out.json");
  ASSERT_EQ(std::count_if(events.begin(), events.end(), [](const Event& e) { return e.ph == "i"; }),
            1);
  EXPECT_EQ(events[0].name, "second");
}

TEST(TimelineBadInput, UnreadableFileAndUsage) {
  TempDir dir;
  ToolRun missing = run_tool(dir, "", {dir.path + "/none.log"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find(dir.path + "/none.log: cannot open"), std::string::npos);
  EXPECT_EQ(run_tool(dir, "--top x", {"a"}).status, 2);
  EXPECT_EQ(run_tool(dir, "", {}).status, 2);
}

std::string xml_log_of(const std::string& pid) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel Process=\"p\" Pid=\"20\">\n"
         "<Msg Rank=\"1\" Time=\"2026/12/06 10:00:00.001\" Pid=\"" +
         pid + "\" Tid=\"21\" Imp=\"==\">\n<Workflow Scope=\"Open\"/>\nwork\n</Msg>\n</Vantrel>\n";
}

// Inputs that are not logs are skipped, each said once; what is readable is
// still drawn, and the exit status says something was skipped.
TEST(TimelineBadInput, FilesThatAreNotLogsAreSkipped) {
  TempDir dir;
  const std::pair<const char*, std::string> others[] = {
      {"empty", ""},
      {"settings.ini", "[trace]\nlevel=2\n"},
      {"page.html", "<!DOCTYPE html>\n<html><body>2026/12/06 10:00:00.000|>=|</body></html>\n"},
      {"binary", std::string("\x7f"
                             "ELF\x02\x01\x01\0\0\xff\xfe",
                             12) +
                     std::string(500, '\xAA')},
      {"message.xml", "<?xml version=\"1.0\"?>\n<!-- note -->\n<Message>hi</Message>\n"},
  };
  std::vector<std::string> inputs{"/etc/passwd"};
  for (const auto& other : others) {
    inputs.push_back(dir.path + "/" + other.first);
    write_file(inputs.back(), other.second);
  }
  inputs.push_back(dir.path + "/a.log");
  write_file(inputs.back(),
             text_record("00.000", '{', "a") + text_record("00.001", '}', "a: 0.001"));
  ToolRun tool = run_tool(dir, "", inputs);
  EXPECT_EQ(tool.status, 1);
  for (std::size_t i = 0; i + 1 < inputs.size(); ++i)
    EXPECT_EQ(occurrences(tool.err, inputs[i] + ": not a Vantrel log; skipped\n"), 1u) << tool.err;
  EXPECT_EQ(occurrences(tool.err, "vantrel-timeline: "), inputs.size() - 1) << tool.err;
  EXPECT_EQ(summary_rows(tool.out).count("a"), 1u) << tool.out;
  // Nothing left to read: a directory is refused like a missing file.
  ToolRun directory = run_tool(dir, "", {dir.path, inputs[1]});
  EXPECT_EQ(directory.status, 2);
  EXPECT_NE(directory.err.find(dir.path + ": cannot open: is a directory"), std::string::npos)
      << directory.err;
  for (std::size_t i = 1; i < inputs.size(); ++i) std::remove(inputs[i].c_str());
}

TEST(TimelineInput, StandardInputHelpAndVersion) {
  TempDir dir;
  std::string xml_log = dir.path + "/b.xml";
  write_file(xml_log, xml_log_of("20"));
  std::string text_log = dir.path + "/a.log";
  write_file(text_log, text_record("00.000", '{', "a") + text_record("00.001", '}', "a: 0.001"));
  // "-" among files: the stream is read in its place in time.
  ToolRun piped = run_tool(dir, "- < '" + xml_log + "'", {text_log});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.out.find("2 scopes, 0 messages in 2 threads of 2 processes; 1 never closed"),
            std::string::npos)
      << piped.out;
  ToolRun help = run_tool(dir, "--help", {});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: vantrel-timeline", 0), 0u) << help.out;
  EXPECT_TRUE(help.err.empty());
  ToolRun version = run_tool(dir, "--version", {});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vantrel-timeline ", 0), 0u) << version.out;
  std::remove(xml_log.c_str());
  std::remove(text_log.c_str());
}

// With the id columns hidden by the display mask a step is its name alone.
TEST(TimelineText, StepWithoutItsIdColumnIsItsName) {
  TempDir dir;
  std::string log = dir.path + "/a.log";
  const std::string head = "2026/12/06 10:00:00.00";
  const std::string columns = "||||job|" + std::string(9, '|');
  write_file(log, head + "0|>=| | |   10|  11|{|" + columns + "run\n" + head +
                      "1|>=| | |   10|  11|}|" + columns + "run: 0.001\n");
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", {log});
  std::vector<Event> scopes = scopes_of(read_json(dir, dir.path + "/out.json"));
  ASSERT_EQ(scopes.size(), 1u) << tool.err;
  EXPECT_TRUE(scopes[0].has("\"root\": \"job\"")) << scopes[0].args;
  std::remove(log.c_str());
}

TEST_F(HandLog, OddTextStaysValidJson) {
  std::string odd = "q\"uote \\ back\ttab \x01 ctl \xC3\xA9 bad\xFF end";
  EXPECT_EQ(
      json(text_record("00.000", '{', odd) + text_record("00.001", '}', odd + ": 0.001")).size(),
      1u);
  EXPECT_EQ(tool.status, 0) << tool.err;
}

TEST(TimelineSummary, TopLimitsTheRows) {
  TempDir dir;
  std::string log = dir.path + "/a.log";
  write_file(log, text_record("00.000", '{', "a") + text_record("00.003", '}', "a: 0.003") +
                      text_record("00.003", '{', "b") + text_record("00.004", '}', "b: 0.001") +
                      text_record("00.004", '{', "b") + text_record("00.009", '}', "b: 0.005"));
  ToolRun tool = run_tool(dir, "--top 1", {log});
  std::map<std::string, std::vector<double>> rows = summary_rows(tool.out);
  ASSERT_EQ(rows.size(), 1u) << tool.out;
  std::vector<double> b = rows["b"];
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(b, (std::vector<double>{2, 6, 3, 3, 5, 5}));
}

// --- Hostile logs ---------------------------------------------------------------

struct HostileCase {
  const char* name;
  std::string log;       // the file's content
  const char* reported;  // in the diagnostics
  std::size_t scopes;    // still drawn from the rest
};

class HostileLog : public ::testing::TestWithParam<HostileCase> {};
INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileLog,
    ::testing::Values(
        HostileCase{"HugeElapsed",
                    text_record("00.000", '{', "work") +
                        text_record("00.002", '}', "work: 9" + std::string(300, '9')),
                    "elapsed time longer than the logs' whole time span", 1},
        HostileCase{"ElapsedBeforeTheFirstRecord",
                    text_record("00.000", '{', "a") + text_record("00.001", '}', "a: 0.001") +
                        text_record("00.002", '}', "lost: 5"),
                    "elapsed time longer than the logs' whole time span", 2},
        HostileCase{"HugeTextPid",
                    text_record("00.000", '{', "work") +
                        "2026/12/06 10:00:00.001|>=| | |99999999999999999999|  11|}||||||||||||"
                        "|||work: 0.001\n",
                    ":2: process or thread id not a number below 2^31; record skipped", 1},
        HostileCase{"TidAt2To31", text_record("00.000", '{', "work", "2147483648"),
                    ":1: process or thread id not a number below 2^31", 0},
        HostileCase{"HugeXmlPid", xml_log_of("99999999999999999999"),
                    ":3: process or thread id not a number below 2^31; record skipped", 0},
        HostileCase{"FarFutureTimes",
                    "9999/12/31 23:59:59.000|>=| | |   10|  11|{|||||||||||||||late\n"
                    "9999/12/31 23:59:59.998|>=| | |   10|  11|}|||||||||||||||late: x\n",
                    "closing record without \"label: elapsed\" text", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Each is reported, the tool exits 1, and the JSON and HTML stay well formed
// with the other records in them.
TEST_P(HostileLog, IsReportedAndTheOutputsStayWellFormed) {
  TempDir dir;
  std::string log = dir.path + "/a.log";
  write_file(log, GetParam().log);
  ToolRun tool =
      run_tool(dir, "--json '" + dir.path + "/out.json' --html '" + dir.path + "/out.html'", {log});
  EXPECT_EQ(tool.status, 1) << tool.err;
  EXPECT_NE(tool.err.find(GetParam().reported), std::string::npos) << tool.err;
  std::vector<Event> scopes = scopes_of(read_json(dir, dir.path + "/out.json"));
  EXPECT_EQ(scopes.size(), GetParam().scopes);
  for (const Event& e : scopes) EXPECT_LT(e.dur, 1e10) << e.name;
  int status = 0;
  run("xmllint --noout --html '" + dir.path + "/out.html' 2>&1", &status);
  EXPECT_EQ(status, 0);
  std::string html = read_file(dir.path + "/out.html");
  EXPECT_EQ(html.find('\0'), std::string::npos) << "stray bytes in the page";
  for (const char* file : {"/a.log", "/out.json", "/out.html"})
    std::remove((dir.path + file).c_str());
}

TEST(TimelineHostile, TerminalControlsInLabelsAndNamesArePrintedEscaped) {
  TempDir dir;
  std::string log = dir.path + "/a\x1b[2J.log";
  std::string label =
      "x\x1b]0;owned\x07 \xC2\x9B"
      "31m \xC3\xA9";
  write_file(log, text_record("00.000", '{', label) + text_record("00.001", '}', label) +
                      text_record("00.002", '{', "b") + text_record("00.003", '}', "b: 0.001"));
  ToolRun tool = run_tool(dir, "", {log});
  EXPECT_EQ(tool.status, 1);
  for (const std::string& shown : {tool.out, tool.err}) {
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x07'), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos) << shown;
  }
  EXPECT_NE(tool.out.find("x\\x1b]0;owned\\x07 \\xc2\\x9b31m \xC3\xA9"), std::string::npos)
      << tool.out;
  EXPECT_NE(tool.err.find("/a\\x1b[2J.log:2: closing record without"), std::string::npos)
      << tool.err;
  std::remove(log.c_str());
}

// Closing records find their scope by label through nested scopes of the
// same name and past scopes left open inside them.
TEST(TimelinePairing, ClosingFindsTheInnermostScopeOfItsLabel) {
  TempDir dir;
  std::string log = dir.path + "/a.log";
  write_file(log, text_record("00.000", '{', "a") + text_record("00.001", '{', "b") +
                      text_record("00.002", '{', "a") + text_record("00.003", '{', "left") +
                      text_record("00.004", '}', "a: 0.002") +  // ends "left" unclosed
                      text_record("00.005", '}', "b: 0.004") +
                      text_record("00.006", '}', "call answered: 0.006") +  // replaced label
                      text_record("00.007", '{', "a") + text_record("00.008", '}', "a: 0.001"));
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'", {log});
  std::vector<Event> scopes = scopes_of(read_json(dir, dir.path + "/out.json"));
  std::vector<std::string> order;
  for (const Event& e : scopes)
    order.push_back(e.name + "@" + std::to_string(static_cast<long long>(e.ts) % 1000000));
  EXPECT_EQ(order, (std::vector<std::string>{"left@3000", "a@2000", "b@1000", "a@0", "a@7000"}));
  EXPECT_TRUE(scopes[0].has("\"unclosed\": true"));
  EXPECT_TRUE(scopes[3].has("\"closed_as\": \"call answered\"")) << scopes[3].args;
  EXPECT_EQ(tool.status, 0) << tool.err;
}

}  // namespace

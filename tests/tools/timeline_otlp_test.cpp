// Tests of vantrel-timeline's OpenTelemetry output: a workflow whose caller
// and callee run in different processes (one writes text, the other XML),
// checked against the official OTLP protobuf definitions by
// tests/tools/otlp_check.js when node and the definitions are installed
// (make test-otlp installs them), and by structure here otherwise.
#include <sys/stat.h>

#include "tools/timeline_support.h"

#ifndef VANTREL_OTLP_TOOLS
#define VANTREL_OTLP_TOOLS VANTREL_BINARY_DIR "/otlp-tools"
#endif

namespace {

using namespace timeline_support;
using logfile_support::occurrences;
using logfile_support::run;
using logfile_support::TempDir;

// A text record of process 10 with the workflow root in its columns.
std::string caller_record(const std::string& time, char tag, const std::string& text,
                          const std::string& root = "order|7") {
  return "2026/12/06 10:00:" + time + "|>=| | |   10|  11|" + tag + "|||||" + root + "|||||||||" +
         text + "\n";
}

std::string callee_record(int rank, const std::string& time, const char* scope,
                          const std::string& text, const char* extra = "", bool in_order = true) {
  return "<Msg Rank=\"" + std::to_string(rank) + "\" Time=\"2026/12/06 10:00:" + time +
         "\" Pid=\"20\" Tid=\"21\" Imp=\"&gt;=\"" + extra + ">\n<Workflow>" +
         (*scope ? std::string("<Depth Major=\"0\" Minor=\"1\" Scope=\"") + scope + "\"/>" : "") +
         (in_order ? "<Root Name=\"order\" Id=\"7\"/>" : "") + "</Workflow>\n" + text +
         "\n</Msg>\n";
}

// The caller (pid 10, text) calls the callee (pid 20, XML) inside workflow
// order#7; the callee's work has a message and a step left by an exception.
// Scopes outside any workflow follow in both, the callee's never closed.
void write_two_processes(const TempDir& dir) {
  write_file(dir.path + "/caller_10_x.log",
             caller_record("00.000", '{', "order#7") +
                 caller_record("00.001", '{', "calling pricing") +
                 caller_record("00.010", '}', "pricing returned: 0.009") +
                 caller_record("00.011", '}', "order#7: 0.011") +
                 caller_record("00.012", '{', "housekeeping", "|") +
                 caller_record("00.013", '}', "housekeeping: 0.001", "|"));
  write_file(dir.path + "/callee_20_x.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel Process=\"pricing\" "
             "Pid=\"20\">\n" +
                 callee_record(1, "00.002", "Open", "incoming pricing call") +
                 callee_record(2, "00.003", "", "priced") +
                 callee_record(3, "00.004", "Open", "audit#a") +
                 callee_record(4, "00.005", "Close", "audit#a: 0.001", " Exc=\"X\"") +
                 callee_record(5, "00.008", "Close", "pricing call served: 0.006") +
                 callee_record(6, "00.009", "Open", "left open", "", false) +
                 callee_record(7, "00.010", "", "still working", "", false) + "</Vantrel>\n");
}

std::vector<std::string> two_process_logs(const TempDir& dir) {
  return {dir.path + "/caller_10_x.log", dir.path + "/callee_20_x.xml"};
}

// One span per line: "name|trace|span|parent|kind|start|end|resource|attrs".
const char otlp_reader[] =
    "import json, sys\n"
    "doc = json.load(open(sys.argv[1]))\n"
    "for r, rs in enumerate(doc['resourceSpans']):\n"
    "  res = {a['key']: list(a['value'].values())[0] for a in rs['resource']['attributes']}\n"
    "  for ss in rs['scopeSpans']:\n"
    "    for s in ss['spans']:\n"
    "      attrs = {a['key']: list(a['value'].values())[0] for a in s.get('attributes', [])}\n"
    "      attrs.update({'event:' + e['name']: e['timeUnixNano'] for e in s.get('events', [])})\n"
    "      attrs['status'] = s.get('status', {}).get('code', 0)\n"
    "      print('|'.join([s['name'], s['traceId'], s['spanId'], s.get('parentSpanId', ''),\n"
    "            str(s['kind']), s['startTimeUnixNano'], s['endTimeUnixNano'],\n"
    "            json.dumps(res, sort_keys=True), json.dumps(attrs, sort_keys=True)]))\n";

struct Span {
  std::string name, trace, id, parent, kind, start, end, resource, attributes;
};

std::map<std::string, Span> read_spans(const TempDir& dir, const std::string& file) {
  std::string script = dir.path + "/read_otlp.py";
  write_file(script, otlp_reader);
  int status = 0;
  std::string lines = run("python3 '" + script + "' '" + file + "'", &status);
  std::remove(script.c_str());
  EXPECT_EQ(status, 0) << "not OTLP/JSON: " << read_file(file);
  std::map<std::string, Span> spans;
  for (const std::string& line : split(lines, '\n')) {
    std::vector<std::string> f = split(line, '|');
    if (f.size() == 9) spans[f[0]] = Span{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
  }
  return spans;
}

TEST(TimelineOtlp, CallerAndCalleeShareOneTraceWithTheCallLinked) {
  TempDir dir;
  write_two_processes(dir);
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--host web1 --otlp '" + out + "'", two_process_logs(dir));
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::map<std::string, Span> spans = read_spans(dir, out);
  ASSERT_EQ(spans.size(), 6u) << read_file(out);
  const Span& order = spans["order#7"];
  const Span& call = spans["calling pricing"];
  const Span& incoming = spans["incoming pricing call"];
  for (const char* name : {"calling pricing", "incoming pricing call", "audit#a"})
    EXPECT_EQ(spans[name].trace, order.trace) << name;
  EXPECT_EQ(order.trace.size(), 32u);
  EXPECT_EQ(order.id.size(), 16u);
  EXPECT_NE(spans["housekeeping"].trace, order.trace);
  EXPECT_NE(spans["left open"].trace, order.trace);
  EXPECT_EQ(order.parent, "");
  EXPECT_EQ(call.parent, order.id);
  EXPECT_EQ(incoming.parent, call.id) << "the callee's incoming call is the caller's child";
  EXPECT_EQ(call.kind, "3");
  EXPECT_EQ(incoming.kind, "2");
  EXPECT_EQ(spans["audit#a"].parent, incoming.id);
  EXPECT_EQ(order.start, "1796551200000000000");
  EXPECT_EQ(order.end, "1796551200011000000");
  EXPECT_EQ(incoming.resource,
            "{\"host.name\": \"web1\", \"process.pid\": \"20\", \"service.name\": \"pricing\"}");
  EXPECT_EQ(order.resource,
            "{\"host.name\": \"web1\", \"process.pid\": \"10\", \"service.name\": \"caller\"}");
  EXPECT_NE(incoming.attributes.find("\"event:priced\": \"1796551200003000000\""),
            std::string::npos)
      << incoming.attributes;
  EXPECT_NE(spans["audit#a"].attributes.find("\"status\": 2"), std::string::npos);
  EXPECT_NE(spans["left open"].attributes.find("\"vantrel.unclosed\": true"), std::string::npos);
  EXPECT_EQ(spans["left open"].end, "1796551200010000000") << "ends at the thread's last record";
  // Ids do not depend on the run: the same logs give the same file.
  std::string first = read_file(out);
  run_tool(dir, "--host web1 --otlp '" + out + "'", two_process_logs(dir));
  EXPECT_EQ(read_file(out), first);
  for (const std::string& log : two_process_logs(dir)) std::remove(log.c_str());
  std::remove(out.c_str());
}

// The same call is a flow in the trace-event JSON and an arrow in the page:
// from the caller's thread to the callee's, at the callee's start.
TEST(TimelineFlows, CrossProcessCallIsAFlowAndAnArrow) {
  TempDir dir;
  write_two_processes(dir);
  const std::string json = dir.path + "/out.json";
  const std::string html = dir.path + "/out.html";
  ToolRun tool =
      run_tool(dir, "--json '" + json + "' --html '" + html + "'", two_process_logs(dir));
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::vector<Event> flows;
  for (const Event& e : read_json(dir, json))
    if (e.ph == "s" || e.ph == "f") flows.push_back(e);
  ASSERT_EQ(flows.size(), 2u);
  EXPECT_EQ(flows[0].ph + std::to_string(flows[0].pid) + "/" + std::to_string(flows[0].tid),
            "s10/11");
  EXPECT_EQ(flows[1].ph + std::to_string(flows[1].pid) + "/" + std::to_string(flows[1].tid),
            "f20/21");
  EXPECT_DOUBLE_EQ(flows[0].ts, 1796551200002000.0);
  EXPECT_DOUBLE_EQ(flows[1].ts, flows[0].ts);
  // Lanes: caller thread at the top (28), callee below it (28 + 2 rows + gap);
  // the arrow leaves the caller's call (depth 1: 28 + 18 + 9) for the callee's depth 0
  // (74 + 9).
  std::string page = read_file(html);
  EXPECT_NE(page.find("var FLOWS=[[2.000,55,83],];"), std::string::npos)
      << page.substr(page.find("var LANEY"), 120);
  for (const std::string& log : two_process_logs(dir)) std::remove(log.c_str());
  std::remove(json.c_str());
  std::remove(html.c_str());
}

// Equal pids on two hosts (--host-from-dir) stay two processes.
TEST(TimelineOtlp, EqualPidsOfTwoHostsStayApart) {
  TempDir dir;
  std::vector<std::string> logs;
  for (const char* host : {"alpha", "beta"}) {
    std::string sub = dir.path + "/" + host;
    ::mkdir(sub.c_str(), 0700);
    logs.push_back(sub + "/svc_10_x.log");
    write_file(logs.back(),
               text_record("00.000", '{', std::string("work on ") + host, "  10") +
                   text_record("00.002", '}', std::string("work on ") + host + ": 0.002", "  10"));
  }
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(
      dir, "--host-from-dir --otlp '" + out + "' --json '" + dir.path + "/out.json'", logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  std::map<std::string, Span> spans = read_spans(dir, out);
  EXPECT_NE(spans["work on alpha"].resource.find("\"host.name\": \"alpha\""), std::string::npos);
  EXPECT_NE(spans["work on beta"].resource.find("\"host.name\": \"beta\""), std::string::npos);
  std::vector<Event> events = scopes_of(read_json(dir, dir.path + "/out.json"));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_NE(events[0].pid, events[1].pid) << "one process in the trace-event JSON";
  for (const std::string& log : logs) std::remove(log.c_str());
  for (const char* host : {"alpha", "beta"}) ::rmdir((dir.path + "/" + host).c_str());
  std::remove(out.c_str());
  std::remove((dir.path + "/out.json").c_str());
}

// Two real processes: the caller's outgoing call is the parent of the
// callee's incoming call in one trace, and the official definitions (when
// installed) accept the file with the cross-process link.
TEST(TimelineOtlp, RealCallerAndCalleeProcessesShareOneTrace) {
  TempDir dir;
  int status = 0;
  run("QZ_TRACE_LOGDIR='" + dir.path + "' " VANTREL_TEST_HOSTS_DIR "/host_timeline_two_processes",
      &status);
  ASSERT_EQ(status, 0);
  std::vector<std::string> logs;
  for (const std::string& file : dir.files()) logs.push_back(dir.path + "/" + file);
  ASSERT_EQ(logs.size(), 2u) << "one text and one XML log";
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--otlp '" + out + "'", logs);
  ASSERT_EQ(tool.status, 0) << tool.err;
  std::map<std::string, Span> spans = read_spans(dir, out);
  const Span& call = spans["calling pricing"];
  const Span& incoming = spans["incoming pricing call"];
  ASSERT_FALSE(call.id.empty()) << read_file(out);
  EXPECT_EQ(incoming.parent, call.id) << read_file(out);
  EXPECT_EQ(incoming.trace, spans["order#7"].trace);
  EXPECT_EQ(spans["price#p1"].parent, incoming.id);
  EXPECT_NE(incoming.resource, call.resource) << "two processes, two resources";
  const std::string tools = VANTREL_OTLP_TOOLS;
  run("node --version >/dev/null 2>&1", &status);
  if (status == 0 && ::access((tools + "/node_modules").c_str(), R_OK) == 0) {
    std::string verdict = run("node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools +
                                  "' '" + out + "' 2>&1",
                              &status);
    EXPECT_EQ(status, 0) << verdict;
    EXPECT_NE(verdict.find("cross_process=1"), std::string::npos) << verdict;
  }
  for (const std::string& log : logs) std::remove(log.c_str());
  std::remove(out.c_str());
}

// The official definitions accept the file and the traces hold together.
TEST(TimelineOtlp, OfficialSchemaAcceptsTheFile) {
  const std::string tools = VANTREL_OTLP_TOOLS;
  const std::string definitions = tools +
                                  "/node_modules/@opentelemetry/otlp-proto-exporter-base/build/"
                                  "src/generated/root.js";
  int status = 0;
  run("node --version >/dev/null 2>&1", &status);
  if (status != 0 || ::access(definitions.c_str(), R_OK) != 0)
    GTEST_SKIP() << "needs node and @opentelemetry/otlp-proto-exporter-base 0.51.1 in " << tools
                 << " (make test-otlp installs them)";
  TempDir dir;
  write_two_processes(dir);
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--otlp '" + out + "'", two_process_logs(dir));
  ASSERT_EQ(tool.status, 0) << tool.err;
  std::string verdict = run(
      "node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools + "' '" + out + "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << verdict;
  EXPECT_EQ(verdict, "spans=6 traces=3 cross_process=1\n");
  // The check itself refuses what the encoding forbids.
  std::string text = read_file(out);
  for (const auto& damage : std::vector<std::pair<std::string, std::string>>{
           {"\"kind\":1", "\"kind\":\"SPAN_KIND_INTERNAL\""},
           {"\"startTimeUnixNano\"", "\"start_time_unix_nano\""},
           {"\"spanId\":\"", "\"spanId\":\"AB"}}) {
    std::string bad = text;
    bad.replace(bad.find(damage.first), damage.first.size(), damage.second);
    write_file(out, bad);
    run("node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools + "' '" + out +
            "' >/dev/null 2>&1",
        &status);
    EXPECT_NE(status, 0) << damage.second;
  }
  for (const std::string& log : two_process_logs(dir)) std::remove(log.c_str());
  std::remove(out.c_str());
}

}  // namespace

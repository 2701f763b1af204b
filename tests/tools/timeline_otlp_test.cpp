// Tests of vantrel-timeline's OpenTelemetry output, checked by structure here
// and against the official OTLP protobuf definitions by otlp_check.js where
// node and the definitions are installed (make test-otlp installs them).
#include <map>

#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;

const std::string tools = VANTREL_BINARY_DIR "/otlp-tools";

// The check's verdict on `file`, "spans=N traces=N cross_process=N" when it
// is valid; "" where the definitions are missing (make test-otlp installs
// them with node).
std::string schema_verdict(const std::string& file) {
  const std::string definitions =
      "/node_modules/@opentelemetry/otlp-proto-exporter-base/build/src/generated/root.js";
  if (::access((tools + definitions).c_str(), R_OK) != 0) return "";
  int status = 0;
  std::string verdict = run(
      "node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools + "' '" + file + "' 2>&1",
      &status);
  return verdict + (status == 0 ? "" : "(failed)");
}

using Spans = std::map<std::string, std::vector<std::string>>;

// The OTLP file of the logs in `dir` (DIR/out.otlp.json), read into `spans`
// (by name: name, trace, id, parent, resource, other keys); returns the count.
std::size_t export_spans(const TempDir& dir, Spans& spans) {
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--otlp '" + out + "'" + logs_in(dir));
  EXPECT_EQ(tool.status, 0) << tool.err;
  const std::vector<std::string> rows = split(digest("otlp", out), '\n');
  for (const std::string& row : rows) spans[row.substr(0, row.find('\t'))] = split(row, '\t');
  return rows.size();
}

// Two real processes: the caller's outgoing call is the parent of the
// callee's incoming call, in one trace, across two resources.
TEST(TimelineOtlp, RealCallerAndCalleeProcessesShareOneTrace) {
  TempDir dir;
  run_host(dir, "host_timeline_two_processes");
  Spans spans;
  export_spans(dir, spans);
  ASSERT_EQ(spans.size(), 4u) << read_file(dir.path + "/out.otlp.json");
  const std::vector<std::string>&order = spans.at("order#7"), &call = spans.at("calling pricing"),
        &incoming = spans.at("incoming pricing call"), &price = spans.at("price#p1");
  EXPECT_EQ(call[3] + " " + incoming[3] + " " + price[3],
            order[2] + " " + call[2] + " " + incoming[2])
      << "each span's parent";
  EXPECT_EQ(call[1] + incoming[1] + price[1], order[1] + order[1] + order[1]) << "one trace";
  EXPECT_NE(incoming[4], call[4]) << "two processes, two resources";
  const std::string verdict = schema_verdict(dir.path + "/out.otlp.json");
  EXPECT_TRUE(verdict.empty() || verdict == "spans=4 traces=1 cross_process=1\n") << verdict;
}

// The official definitions accept the file, and the check refuses what the
// encoding forbids.
TEST(TimelineOtlp, OfficialSchemaAcceptsTheFile) {
  Case two;
  two.play("two_processes", true);
  Spans spans;
  EXPECT_EQ(export_spans(two.dir, spans), 6u);
  const std::string out = two.dir.path + "/out.otlp.json", verdict = schema_verdict(out);
  if (verdict.empty())
    GTEST_SKIP() << "needs node and @opentelemetry/otlp-proto-exporter-base 0.51.1 in " << tools
                 << " (make test-otlp installs them)";
  EXPECT_EQ(verdict, "spans=6 traces=3 cross_process=1\n");
  const std::string text = read_file(out);
  for (const auto& [good, bad] : std::vector<std::pair<std::string, std::string>>{
           {"\"kind\":1", "\"kind\":\"SPAN_KIND_INTERNAL\""},
           {"\"startTimeUnixNano\"", "\"start_time_unix_nano\""},
           {"\"spanId\":\"", "\"spanId\":\"AB"}}) {
    std::ofstream(out) << std::string(text).replace(text.find(good), good.size(), bad);
    EXPECT_EQ(schema_verdict(out).rfind("invalid: ", 0), 0u) << bad;
  }
}

// Logs long enough that finished spans leave memory for the temporary file
// before the end: the cross call is still linked where both of its spans were
// moved out early, far from the start of their process's spans.
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
  Spans spans;
  ASSERT_EQ(export_spans(dir, spans), 4u * fill + 3);
  const std::vector<std::string>&order = spans["order#7"], &call = spans["calling pricing"],
        &incoming = spans["incoming pricing call"];
  ASSERT_EQ(order.size() + call.size() + incoming.size(), 18u);
  EXPECT_EQ(call[3] + " " + incoming[3], order[2] + " " + call[2]) << "each span's parent";
  // Only the linked spans change kind: client (3) calls server (2).
  EXPECT_NE(call[5].find("\"kind\": 3"), std::string::npos) << call[5];
  EXPECT_NE(incoming[5].find("\"kind\": 2"), std::string::npos) << incoming[5];
  EXPECT_NE(order[5].find("\"kind\": 1"), std::string::npos) << order[5];
  // One event, the record "priced".
  EXPECT_EQ(occurrences(incoming[5], "\"timeUnixNano\""), 1u) << incoming[5];
  EXPECT_EQ(occurrences(incoming[5], "\"name\": \"priced\", \"timeUnixNano\""), 1u);
}

}  // namespace

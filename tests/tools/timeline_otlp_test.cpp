// Tests of vantrel-timeline's OpenTelemetry output: a workflow whose caller
// and callee run in different processes (one writes text, the other XML),
// checked by structure here and against the official OTLP protobuf
// definitions by tests/tools/otlp_check.js where node and the definitions
// are installed (make test-otlp installs them).
#include <map>

#include "tools/timeline_support.h"

#ifndef VANTREL_OTLP_TOOLS
#define VANTREL_OTLP_TOOLS VANTREL_BINARY_DIR "/otlp-tools"
#endif

namespace {

using namespace timeline_support;

const std::string tools = VANTREL_OTLP_TOOLS;

// The check's verdict on `file`, "spans=N traces=N cross_process=N" when it
// is valid; "" where node or the definitions are missing.
std::string schema_verdict(const std::string& file) {
  int status = 0;
  run("node --version >/dev/null 2>&1", &status);
  const std::string definitions =
      "/node_modules/@opentelemetry/otlp-proto-exporter-base/build/src/generated/root.js";
  if (status != 0 || ::access((tools + definitions).c_str(), R_OK) != 0) return "";
  std::string verdict = run(
      "node '" VANTREL_SOURCE_DIR "/tests/tools/otlp_check.js' '" + tools + "' '" + file + "' 2>&1",
      &status);
  return verdict + (status == 0 ? "" : "(failed)");
}

// Two real processes: the caller's outgoing call is the parent of the
// callee's incoming call, in one trace, across two resources.
TEST(TimelineOtlp, RealCallerAndCalleeProcessesShareOneTrace) {
  TempDir dir;
  run_host(dir, "host_timeline_two_processes");
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--otlp '" + out + "'" + logs_in(dir));
  ASSERT_EQ(tool.status, 0) << tool.err;
  std::map<std::string, std::vector<std::string>> spans;  // name, trace, id, parent, resource
  for (const std::string& line : split(digest("otlp", out), '\n'))
    spans[line.substr(0, line.find('\t'))] = split(line, '\t');
  ASSERT_EQ(spans.size(), 4u) << read_file(out);
  const std::vector<std::string>&order = spans.at("order#7"), &call = spans.at("calling pricing"),
        &incoming = spans.at("incoming pricing call"), &price = spans.at("price#p1");
  EXPECT_EQ(call[3] + " " + incoming[3] + " " + price[3],
            order[2] + " " + call[2] + " " + incoming[2])
      << "each span's parent";
  EXPECT_EQ(call[1] + incoming[1] + price[1], order[1] + order[1] + order[1]) << "one trace";
  EXPECT_NE(incoming[4], call[4]) << "two processes, two resources";
  const std::string verdict = schema_verdict(out);
  EXPECT_TRUE(verdict.empty() || verdict == "spans=4 traces=1 cross_process=1\n") << verdict;
}

// The official definitions accept the file, and the check refuses what the
// encoding forbids.
TEST(TimelineOtlp, OfficialSchemaAcceptsTheFile) {
  Case two;
  two.play("two_processes", true);
  const std::string out = two.dir.path + "/out.otlp.json";
  ASSERT_EQ(run_tool(two.dir, "--otlp '" + out + "'" + logs_in(two.dir)).status, 0);
  const std::string verdict = schema_verdict(out);
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

}  // namespace

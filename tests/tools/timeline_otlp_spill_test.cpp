// vantrel-timeline's OTLP output on logs long enough that finished spans
// leave memory for the temporary file before the end: the cross call
// between two processes is still linked where both of its spans were moved
// out early, at an offset far from the start of their process's spans.
#include <fstream>
#include <map>

#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;

void write_file(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// A text record of process `pid` at `ms` milliseconds after 10:00:00,
// carrying the workflow root order#7 unless `in_workflow` is false.
std::string record(int pid, int ms, char tag, const std::string& text, bool in_workflow = true) {
  char time[16];
  std::snprintf(time, sizeof time, "%02d.%03d", ms / 1000, ms % 1000);
  const std::string id = std::to_string(pid);
  return "2026/12/06 10:00:" + std::string(time) + "|>=| | |" + id + "|" + id + "|" + tag +
         "|||||" + (in_workflow ? "order|7" : "|") + "|||||||||" + text + "\n";
}

// Scopes outside the workflow, enough to fill many blocks of spans.
std::string filler(int pid, int from_ms, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += record(pid, from_ms + i, '{', "filler", false);
    text += record(pid, from_ms + i, '}', "filler: 0.0001", false);
  }
  return text;
}

// name => "span id|parent span id|kind|events|.", and "spans" => the count.
const char reader[] =
    "import json, sys\n"
    "doc = json.load(open(sys.argv[1]))\n"
    "count = 0\n"
    "for rs in doc['resourceSpans']:\n"
    "  for s in rs['scopeSpans'][0]['spans']:\n"
    "    count += 1\n"
    "    if s['name'] != 'filler':\n"
    "      print('|'.join([s['name'], s['spanId'], s.get('parentSpanId', ''), str(s['kind']),\n"
    "                      ','.join(e['name'] for e in s.get('events', [])), '.']))\n"
    "print('spans|%d' % count)\n";

TEST(TimelineOtlpSpill, CallLinkedWhenBothSpansLeftMemoryEarly) {
  TempDir dir;
  const int fill = 3000;  // about a megabyte of spans per process
  write_file(dir.path + "/caller_10_x.log", filler(10, 0, fill) + record(10, 5000, '{', "order#7") +
                                                record(10, 5001, '{', "calling pricing") +
                                                record(10, 5010, '}', "pricing returned: 0.009") +
                                                record(10, 5011, '}', "order#7: 0.011") +
                                                filler(10, 6000, fill));
  write_file(dir.path + "/callee_20_x.log",
             filler(20, 0, fill) + record(20, 5002, '{', "incoming pricing call") +
                 record(20, 5003, ' ', "priced") +
                 record(20, 5008, '}', "pricing call served: 0.006") + filler(20, 6000, fill));
  const std::string out = dir.path + "/out.otlp.json";
  ToolRun tool = run_tool(dir, "--otlp '" + out + "'" + logs_in(dir));
  ASSERT_EQ(tool.status, 0) << tool.err;
  write_file(dir.path + "/read.py", reader);
  int status = 0;
  std::map<std::string, std::vector<std::string>> spans;
  for (const std::string& line :
       split(run("python3 '" + dir.path + "/read.py' '" + out + "'", &status), '\n')) {
    std::vector<std::string> fields = split(line, '|');
    spans[fields[0]].assign(fields.begin() + 1, fields.end());
  }
  ASSERT_EQ(status, 0) << "not JSON";
  ASSERT_EQ(spans["spans"], std::vector<std::string>{std::to_string(4 * fill + 3)});
  const std::vector<std::string>& order = spans["order#7"];
  const std::vector<std::string>& call = spans["calling pricing"];
  const std::vector<std::string>& incoming = spans["incoming pricing call"];
  ASSERT_EQ(order.size(), 5u);
  ASSERT_EQ(call.size(), 5u);
  ASSERT_EQ(incoming.size(), 5u);
  EXPECT_EQ(call[1], order[0]);
  EXPECT_EQ(call[2], "3") << "the caller's call is a client span";
  EXPECT_EQ(incoming[1], call[0]) << "the incoming call is the caller's child";
  EXPECT_EQ(incoming[2], "2") << "the incoming call is a server span";
  EXPECT_EQ(incoming[3], "priced");
  EXPECT_EQ(order[2], "1") << "only the linked spans change kind";
}

}  // namespace

// Tests of vantrel-timeline: the cases of cases/ (hand-written logs, the
// command lines that read them and what they give), and the logs a real
// multi-threaded host writes in both formats.
#include <map>

#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;

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

// One run of the host per format, read as JSON (its events without times and
// ids, as cases/host_*.events), as a summary from its files in any order, and
// as HTML: one bar a scope, one lane a thread, nothing fetched from elsewhere
// (the only address is the SVG namespace, in markup and script).
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  run_host(dir, "host_timeline_work", GetParam());
  ASSERT_GT(dir.files().size(), 1u) << "the host rotates its log";
  const std::string logs = logs_in(dir);
  EXPECT_EQ(run_tool(dir, "--json '" + dir.path + "/out.json'" + logs).status, 0);
  EXPECT_EQ(digest("events", dir.path + "/out.json"),
            read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/host_" +
                      std::string(GetParam() ? "xml" : "text") + ".events"));
  std::remove((dir.path + "/out.json").c_str());
  ToolRun summary = run_tool(dir, "--merge-ids" + logs);
  EXPECT_EQ(summary.status, 0) << summary.err;
  // One row per step name, 6 of each, the roots (holding the rest) first; a
  // step's longest time at least what the host slept in it (whole milliseconds).
  std::map<std::string, double> slept = {{"order#*", 11},   {"check#*", 5}, {"ada", 5},
                                         {"call stock", 4}, {"price#*", 3}, {"audit#*", 2}};
  std::smatch m;
  for (const std::string& line : split(summary.out, '\n'))
    if (std::regex_match(line, m, std::regex("(.+?) +6( +[0-9.]+){4} +([0-9.]+)")) &&
        slept.count(m[1])) {
      EXPECT_GE(std::stod(m[3]), slept[m[1]] - 1) << line;
      slept.erase(m[1]);
    }
  EXPECT_TRUE(slept.empty()) << summary.out;
  EXPECT_EQ(split(summary.out, '\n')[1].compare(0, 8, "order#* "), 0) << summary.out;
  EXPECT_EQ(split(summary.out, '\n').back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
  EXPECT_EQ(run_tool(dir, "--merge-ids" + logs_in(dir, true)).out, summary.out) << "any order";
  EXPECT_EQ(run_tool(dir, "--html '" + dir.path + "/out.html'" + logs).status, 0);
  const std::string html = read_file(dir.path + "/out.html");
  std::string counts;
  for (const char* text : {"<rect class=\"b ", "<title>order#", "\nleft by an exception",
                           "<text x=", "src=", "href", "http", "</html>"})
    counts += std::to_string(occurrences(html, text)) + " ";
  EXPECT_EQ(counts, "36 6 6 4 0 0 2 1 ");
}

}  // namespace

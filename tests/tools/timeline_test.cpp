// Tests of vantrel-timeline: the cases of cases/ (hand-written logs, the
// command lines that read them and what they give), and the logs a real
// multi-threaded host writes in both formats.
#include <chrono>
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

// One row per step name, 6 of each; a scope's longest time lies between what
// the host slept in it (on a clock of whole milliseconds) and the whole run's.
void expect_summary_of_host(const std::string& out, double run_ms) {
  const std::regex row("(.+?) +6 +([0-9.]+) +[0-9.]+ +([0-9.]+) +([0-9.]+) +([0-9.]+)");
  const std::map<std::string, double> slept = {{"order#*", 11},   {"check#*", 5}, {"ada", 5},
                                               {"call stock", 4}, {"price#*", 3}, {"audit#*", 2}};
  std::size_t rows = 0;
  std::smatch m;
  for (const std::string& line : split(out, '\n')) {
    if (!std::regex_match(line, m, row)) continue;
    ASSERT_EQ(slept.count(m[1]), 1u) << line;
    const double ms = slept.at(m[1]) - 1, max = std::stod(m[5]);
    EXPECT_TRUE(++rows && std::stod(m[2]) >= 6 * ms && max >= ms && max <= run_ms &&
                std::max(std::stod(m[3]), std::stod(m[4])) <= max)
        << line;
  }
  EXPECT_EQ(rows, slept.size()) << out;
  EXPECT_EQ(split(out, '\n')[1].compare(0, 8, "order#* "), 0)
      << "the roots, holding the rest, first";
  EXPECT_EQ(split(out, '\n').back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
}

class HostLog : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, HostLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "xml" : "text"; });

// One run of the host per format, read as JSON (its events without times and
// ids, as cases/host_*.events), as a summary in any order of its files, and as
// HTML: one bar a scope, one lane a thread, nothing fetched from elsewhere
// (the only address is the SVG namespace, in markup and script).
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  const auto begin = std::chrono::steady_clock::now();
  run_host(dir, "host_timeline_work", GetParam());
  const std::chrono::duration<double, std::milli> run_ms = std::chrono::steady_clock::now() - begin;
  ASSERT_GT(dir.files().size(), 1u) << "the host rotates its log";
  const std::string logs = logs_in(dir);
  EXPECT_EQ(run_tool(dir, "--json '" + dir.path + "/out.json'" + logs).status, 0);
  EXPECT_EQ(digest("events", dir.path + "/out.json"),
            read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/host_" +
                      std::string(GetParam() ? "xml" : "text") + ".events"));
  std::remove((dir.path + "/out.json").c_str());
  ToolRun summary = run_tool(dir, "--merge-ids" + logs);
  EXPECT_EQ(summary.status, 0) << summary.err;
  expect_summary_of_host(summary.out, run_ms.count());
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

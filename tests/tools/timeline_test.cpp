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

// --- The host's logs, text and XML ------------------------------------------

void expect_json_of_host(const TempDir& dir, const std::string& logs, bool xml) {
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'" + logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  // The events without times and ids, which differ between runs.
  EXPECT_EQ(digest("events", dir.path + "/out.json"),
            read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/host_" +
                      std::string(xml ? "xml" : "text") + ".events"));
  std::remove((dir.path + "/out.json").c_str());
}

// One row per step name; the scopes' times lie between what the host slept
// in them (on a clock of whole milliseconds) and the whole run's time.
void expect_summary_of_host(const std::string& out, double run_ms) {
  const std::regex row("(.+?) +([0-9]+) +([0-9.]+) +[0-9.]+ +([0-9.]+) +([0-9.]+) +([0-9.]+)");
  std::map<std::string, std::vector<double>> figures;  // count, total, median, p95, max
  std::smatch m;
  for (const std::string& line : split(out, '\n'))
    if (std::regex_match(line, m, row))
      for (std::size_t i = 2; i < m.size(); ++i) figures[m[1]].push_back(std::stod(m[i]));
  const std::pair<const char*, double> slept[] = {{"order#*", 11}, {"check#*", 5},
                                                  {"ada", 5},      {"call stock", 4},
                                                  {"price#*", 3},  {"audit#*", 2}};
  ASSERT_EQ(figures.size(), std::size(slept)) << out;
  for (const auto& [label, ms] : slept) {
    const std::vector<double>& f = figures[label];
    ASSERT_EQ(f.size(), 5u) << label;
    EXPECT_TRUE(f[0] == 6 && f[1] >= 6 * (ms - 1) && f[4] >= ms - 1 && f[4] <= run_ms &&
                std::max(f[2], f[3]) <= f[4])
        << label << ": " << out;
  }
  EXPECT_EQ(split(out, '\n')[1].compare(0, 8, "order#* "), 0)
      << "the roots, holding the rest, first";
  EXPECT_EQ(split(out, '\n').back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
}

// One bar a scope, one lane a thread, nothing fetched from elsewhere (the
// only address is the SVG namespace, in markup and script).
void expect_html_of_host(const TempDir& dir, const std::string& logs) {
  EXPECT_EQ(run_tool(dir, "--html '" + dir.path + "/out.html'" + logs).status, 0);
  const std::string html = read_file(dir.path + "/out.html");
  std::string counts;
  for (const char* text : {"<rect class=\"b ", "<title>order#", "\nleft by an exception",
                           "<text x=", "src=", "href", "http", "</html>"})
    counts += std::to_string(occurrences(html, text)) + " ";
  EXPECT_EQ(counts, "36 6 6 4 0 0 2 1 ");
}

class HostLog : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, HostLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "xml" : "text"; });

// One run of the host per format, read as JSON, as a summary and as HTML.
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  const auto begin = std::chrono::steady_clock::now();
  run_host(dir, "host_timeline_work", GetParam());
  const std::chrono::duration<double, std::milli> run_ms = std::chrono::steady_clock::now() - begin;
  ASSERT_GT(dir.files().size(), 1u) << "the host rotates its log";
  expect_json_of_host(dir, logs_in(dir), GetParam());
  ToolRun summary = run_tool(dir, "--merge-ids" + logs_in(dir));
  EXPECT_EQ(summary.status, 0) << summary.err;
  expect_summary_of_host(summary.out, run_ms.count());
  EXPECT_EQ(run_tool(dir, "--merge-ids" + logs_in(dir, true)).out, summary.out) << "any order";
  expect_html_of_host(dir, logs_in(dir));
}

}  // namespace

// Tests of vantrel-timeline: the cases of cases/ (hand-written logs, the
// command lines that read them and what they give), and the logs a real
// multi-threaded host writes in both formats.
#include <Vantrel/Version.h>
#include <dirent.h>

#include <chrono>
#include <map>
#include <regex>
#include <tuple>

#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  DIR* cases = ::opendir(VANTREL_SOURCE_DIR "/tests/tools/cases");
  for (dirent* entry; cases && (entry = ::readdir(cases));) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0)
      names.push_back(name.substr(0, name.size() - 4));
  }
  if (cases) ::closedir(cases);
  std::sort(names.begin(), names.end());
  return names;
}

class Cases : public ::testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Timeline, Cases, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

TEST_P(Cases, GiveTheirOutputs) { Case().play(GetParam()); }

TEST(Timeline, Version) {
  TempDir dir;
  EXPECT_EQ(run_tool(dir, "--version").out, "vantrel-timeline " VANTREL_VERSION_STRING "\n");
}

// --- The host's logs, text and XML ------------------------------------------

// The events without what differs between runs (times, ids), sorted.
std::string lasting_part(const std::string& digest) {
  const std::regex elapsed("\"elapsed_ms\": [0-9.e+]+"), thread("thread [0-9]+");
  std::vector<std::string> lines;
  for (const std::vector<std::string>& e : rows(digest)) {
    const std::string rest = std::regex_replace(e.at(6), elapsed, "\"elapsed_ms\": _");
    lines.push_back(e[0] + "\t" + e[1] + "\t" + std::regex_replace(rest, thread, "thread _"));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Scopes of one thread either nest or follow each other.
void expect_nesting(std::vector<std::vector<std::string>> scopes) {
  auto start = [](const auto& e) { return std::stod(e[2]); };
  auto end = [](const auto& e) { return std::stod(e[2]) + std::stod(e[3]); };
  std::sort(scopes.begin(), scopes.end(), [&](const auto& a, const auto& b) {
    return std::make_tuple(a[5], start(a), -end(a)) < std::make_tuple(b[5], start(b), -end(b));
  });
  for (std::size_t i = 0; i < scopes.size(); ++i)
    for (std::size_t j = i + 1; j < scopes.size() && scopes[j][5] == scopes[i][5]; ++j)
      EXPECT_TRUE(end(scopes[j]) <= end(scopes[i]) + 1e-3 ||
                  start(scopes[j]) >= end(scopes[i]) - 1e-3)
          << scopes[i][1] << " and " << scopes[j][1] << " overlap";
}

void expect_json_of_host(const TempDir& dir, const std::string& logs, bool xml) {
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'" + logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  const std::string events = digest("json", dir.path + "/out.json");
  std::remove((dir.path + "/out.json").c_str());
  EXPECT_EQ(lasting_part(events), read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/host_" +
                                            std::string(xml ? "xml" : "text") + ".events"));
  std::vector<std::vector<std::string>> scopes;
  for (const std::vector<std::string>& e : rows(events))
    if (e[0] == "X") scopes.push_back(e);
  expect_nesting(scopes);
}

// One row per step name; the scopes' times lie between what the host slept
// in them (on a clock of whole milliseconds) and the whole run's time.
void expect_summary_of_host(const std::string& out, double run_ms) {
  std::map<std::string, std::vector<double>> figures;  // count, total, mean, median, p95, max
  for (const std::string& line : split(out, '\n')) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    std::string label = words.at(0);
    for (std::size_t w = 1; w + 6 < words.size(); ++w) label += " " + words[w];
    for (std::size_t w = words.size() - 6; w < words.size() && isdigit(words[w][0]); ++w)
      figures[label].push_back(std::stod(words[w]));
  }
  const std::pair<const char*, double> slept[] = {{"order#*", 11}, {"check#*", 5},
                                                  {"ada", 5},      {"call stock", 4},
                                                  {"price#*", 3},  {"audit#*", 2}};
  ASSERT_EQ(figures.size(), std::size(slept)) << out;
  for (const auto& [label, ms] : slept) {
    const std::vector<double>& f = figures[label];
    ASSERT_EQ(f.size(), 6u) << label;
    EXPECT_EQ(f[0], 6) << label;
    EXPECT_GE(f[1], 6 * (ms - 1)) << label;
    EXPECT_GE(f[5], ms - 1) << label;
    EXPECT_LE(f[5], run_ms) << label;
    EXPECT_LE(std::max(f[3], f[4]), f[5]) << label;
  }
  EXPECT_EQ(split(out, '\n')[1].compare(0, 8, "order#* "), 0)
      << "the roots, which contain the rest, first";
  EXPECT_EQ(split(out, '\n').back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
}

// One bar a scope, one lane a thread, nothing fetched from elsewhere (the
// only address is the SVG namespace, in markup and script).
void expect_html_of_host(const TempDir& dir, const std::string& logs) {
  EXPECT_EQ(run_tool(dir, "--html '" + dir.path + "/out.html'" + logs).status, 0);
  const std::string html = read_file(dir.path + "/out.html");
  const std::pair<const char*, std::size_t> counts[] = {{"<rect class=\"b ", 36},
                                                        {"<title>order#", 6},
                                                        {"\nleft by an exception", 6},
                                                        {"<text x=", 4},
                                                        {"src=", 0},
                                                        {"href", 0},
                                                        {"http", 2},
                                                        {"</html>", 1}};
  for (const auto& [text, count] : counts) EXPECT_EQ(occurrences(html, text), count) << text;
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
  std::vector<std::string> logs = logs_in(dir);
  ASSERT_GT(logs.size(), 1u) << "the host rotates its log";
  expect_json_of_host(dir, quoted(logs), GetParam());
  ToolRun summary = run_tool(dir, "--merge-ids" + quoted(logs));
  EXPECT_EQ(summary.status, 0) << summary.err;
  expect_summary_of_host(summary.out, run_ms.count());
  std::reverse(logs.begin(), logs.end());
  EXPECT_EQ(run_tool(dir, "--merge-ids" + quoted(logs)).out, summary.out) << "files in any order";
  expect_html_of_host(dir, quoted(logs));
}

}  // namespace

// Tests of vantrel-timeline: the cases of cases/ (hand-written logs, the
// command lines that read them and what they give), and the logs a real
// multi-threaded host writes in both formats.
#include <Vantrel/Version.h>
#include <dirent.h>

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

// The host's scopes as it measured them around the scope objects, per label,
// and the time it slept inside them.
struct Measured {
  double count = 0, total = 0, max = 0, slept = 0, max_slept = 0;
};

std::map<std::string, Measured> measured_by(const std::string& output) {
  std::map<std::string, Measured> measured;
  for (const std::vector<std::string>& f : rows(output)) {
    Measured& m = measured[f.at(0)];
    const double ms = std::stod(f.at(1)), slept = std::stod(f.at(2));
    m.count += 1, m.total += ms, m.slept += slept;
    m.max = std::max(m.max, ms), m.max_slept = std::max(m.max_slept, slept);
  }
  return measured;
}

// The events without what differs between runs (times, ids), sorted.
std::string lasting_part(const std::string& digest) {
  const std::regex elapsed("\"elapsed_ms\": [0-9.e+]+"), thread("thread [0-9]+");
  std::vector<std::string> lines;
  for (const std::vector<std::string>& e : rows(digest)) {
    const std::string rest = std::regex_replace(e.at(6), elapsed, "\"elapsed_ms\": _");
    lines.push_back(e.at(0) + "\t" + e.at(1) + "\t" + std::regex_replace(rest, thread, "thread _"));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Scopes of one thread either nest or follow each other.
void expect_nesting(std::vector<std::vector<std::string>> events) {
  std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
    return std::make_tuple(a[5], std::stod(a[2]), -std::stod(a[3])) <
           std::make_tuple(b[5], std::stod(b[2]), -std::stod(b[3]));
  });
  for (std::size_t i = 0; i < events.size(); ++i)
    for (std::size_t j = i + 1; j < events.size() && events[j][5] == events[i][5]; ++j) {
      const double a_end = std::stod(events[i][2]) + std::stod(events[i][3]);
      const double b_start = std::stod(events[j][2]), b_end = b_start + std::stod(events[j][3]);
      EXPECT_TRUE(b_end <= a_end + 1e-3 || b_start >= a_end - 1e-3)
          << events[i][1] << " and " << events[j][1] << " overlap";
    }
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

// The summary's figures lie within what the host measured around each scope
// (on a clock of whole milliseconds) and what it slept inside. The
// architect's scopes, which the host does not measure, have a row too.
void expect_summary_of_host(const std::string& out, const std::map<std::string, Measured>& host) {
  std::vector<std::string> lines = split(out, '\n');
  ASSERT_EQ(lines.size(), host.size() + 3) << out;
  EXPECT_EQ(lines.back(),
            "36 scopes, 8 messages in 4 threads of 1 processes; 0 never closed, 0 without opening "
            "record");
  double previous_total = 1e300;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    ASSERT_GE(words.size(), 7u) << lines[i];
    std::string label = words[0];
    for (std::size_t w = 1; w + 6 < words.size(); ++w) label += " " + words[w];
    // count, total, mean, median, p95, max
    double f[6];
    for (int w = 0; w < 6; ++w) f[w] = std::stod(words[words.size() - 6 + w]);
    const double count = f[0], total = f[1], median = f[3], p95 = f[4], max = f[5];
    SCOPED_TRACE(lines[i]);
    EXPECT_LE(total, previous_total) << "sorted by total";
    previous_total = total;
    if (label == "ada") continue;
    const Measured& m = host.at(label);
    EXPECT_EQ(count, m.count);
    EXPECT_LE(total, m.total + m.count);
    EXPECT_GE(total, m.slept - m.count);
    EXPECT_LE(max, m.max + 1.0);
    EXPECT_GE(max, m.max_slept - 1.0);
    EXPECT_LE(std::max(median, p95), max);
  }
}

void expect_html_of_host(const TempDir& dir, const std::string& logs) {
  ToolRun tool = run_tool(dir, "--html '" + dir.path + "/out.html'" + logs);
  EXPECT_EQ(tool.status, 0) << tool.err;
  const std::string html = read_file(dir.path + "/out.html");
  std::remove((dir.path + "/out.html").c_str());
  // One bar a scope, one lane a thread, nothing fetched from elsewhere (the
  // only address is the SVG namespace, in markup and script).
  const std::pair<const char*, std::size_t> counts[] = {{"<rect class=\"b ", 36},
                                                        {"<title>order#", 6},
                                                        {"\nleft by an exception", 6},
                                                        {"<text x=", 4},
                                                        {"src=", 0},
                                                        {"href", 0},
                                                        {"http", 2},
                                                        {"</html>", 1}};
  for (const auto& count : counts)
    EXPECT_EQ(occurrences(html, count.first), count.second) << count.first;
}

// A killed process: the last file ends inside the workflow root's closing
// record. The records before it are kept, and its scope never closes.
void expect_cut_off_xml_reported(const TempDir& dir, const std::vector<std::string>& logs) {
  const std::string last = read_file(logs.back());
  std::ofstream(logs.back()) << last.substr(0, last.rfind("Scope=\"Close\""));
  ToolRun tool = run_tool(dir, "--json '" + dir.path + "/out.json'" + quoted(logs));
  EXPECT_EQ(tool.status, 1);
  EXPECT_NE(tool.err.find(logs.back() + ":"), std::string::npos) << tool.err;
  EXPECT_NE(tool.err.find("the file ends inside this record (cut off?)"), std::string::npos);
  const std::string events = digest("json", dir.path + "/out.json");
  EXPECT_EQ(occurrences(events, "X\t"), 36u);
  EXPECT_EQ(occurrences(events, "\"unclosed\": true"), 1u);
}

class HostLog : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, HostLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "xml" : "text"; });

// One run of the host per format (3 threads x 2 requests x 6 scopes), read
// as JSON, as a summary and as HTML.
TEST_P(HostLog, EveryViewShowsEachScopeOnce) {
  TempDir dir;
  const std::map<std::string, Measured> host =
      measured_by(run_host(dir, "host_timeline_work", GetParam()));
  std::vector<std::string> logs = logs_in(dir);
  ASSERT_GT(logs.size(), 1u) << "the host rotates its log";
  expect_json_of_host(dir, quoted(logs), GetParam());
  ToolRun summary = run_tool(dir, quoted(logs));
  EXPECT_EQ(summary.status, 0) << summary.err;
  expect_summary_of_host(summary.out, host);
  std::reverse(logs.begin(), logs.end());
  EXPECT_EQ(run_tool(dir, quoted(logs)).out, summary.out) << "rotated files in any order";
  // One row per step name: the workflow roots, which contain the rest, come first.
  std::vector<std::string> merged =
      split(run_tool(dir, "--merge-ids --top 2" + quoted(logs)).out, '\n');
  ASSERT_EQ(merged.size(), 4u);
  std::istringstream row(merged[1]);
  std::string label, count;
  EXPECT_TRUE(row >> label >> count && label + " " + count == "order#* 6") << merged[1];
  expect_html_of_host(dir, quoted(logs));
  if (GetParam()) expect_cut_off_xml_reported(dir, logs_in(dir));
}

}  // namespace

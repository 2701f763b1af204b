// Helpers of the vantrel-timeline tests: running the built tool, reading
// its JSON back with Python's json module, the test host's logs, and small
// hand-written records.
#ifndef VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H
#define VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

#ifndef VANTREL_TIMELINE_TOOL
#define VANTREL_TIMELINE_TOOL VANTREL_BINARY_DIR "/tools/vantrel-timeline"
#endif

namespace timeline_support {

using logfile_support::occurrences;
using logfile_support::run;
using logfile_support::TempDir;

// One event of the JSON as Python read it.
struct Event {
  std::string ph, name;
  double ts = 0, dur = 0;
  long long pid = 0, tid = 0;
  std::string args;  // the args object, keys sorted: {"a": 1, "b": "x"}

  bool has(const std::string& text) const { return args.find(text) != std::string::npos; }
};

inline const char json_reader[] =
    "import json, sys\n"
    "events = json.load(open(sys.argv[1], encoding='utf-8'))['traceEvents']\n"
    "for e in events:\n"
    "    print('\\x1f'.join([e['ph'], e['name'], str(e.get('ts', 0)), str(e.get('dur', 0)),\n"
    "                     str(e['pid']), str(e['tid']), json.dumps(e.get('args', {}), "
    "sort_keys=True)]))\n";

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

inline std::string quoted(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) text += " '" + file + "'";
  return text;
}

struct ToolRun {
  int status = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline ToolRun run_tool(const TempDir& dir, const std::string& options,
                        const std::vector<std::string>& logs) {
  ToolRun result;
  result.out = run(std::string(VANTREL_TIMELINE_TOOL) + " " + options + quoted(logs) + " 2>'" +
                       dir.path + "/stderr.txt'",
                   &result.status);
  std::ifstream err(dir.path + "/stderr.txt");
  result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove((dir.path + "/stderr.txt").c_str());
  result.status = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
  return result;
}

// Reads a JSON file back with a real parser; fails the test when it is not JSON.
inline std::vector<Event> read_json(const TempDir& dir, const std::string& json) {
  std::string script = dir.path + "/read.py";
  std::ofstream(script) << json_reader;
  int status = 0;
  std::string lines = run("python3 '" + script + "' '" + json + "'", &status);
  std::remove(script.c_str());
  EXPECT_EQ(status, 0) << "not valid JSON: " << json;
  std::vector<Event> events;
  for (const std::string& line : split(lines, '\n')) {
    std::vector<std::string> f = split(line, '\x1f');
    if (f.size() != 7) continue;
    events.push_back(Event{f[0], f[1], std::stod(f[2]), std::stod(f[3]), std::stoll(f[4]),
                           std::stoll(f[5]), f[6]});
  }
  return events;
}

inline std::vector<Event> scopes_of(const std::vector<Event>& events) {
  std::vector<Event> scopes;
  std::copy_if(events.begin(), events.end(), std::back_inserter(scopes),
               [](const Event& e) { return e.ph == "X"; });
  return scopes;
}

// Scopes of one thread either nest or follow each other.
inline void expect_nesting(std::vector<Event> scopes) {
  std::sort(scopes.begin(), scopes.end(), [](const Event& a, const Event& b) {
    return a.tid != b.tid ? a.tid < b.tid : (a.ts != b.ts ? a.ts < b.ts : a.dur > b.dur);
  });
  for (std::size_t i = 0; i < scopes.size(); ++i)
    for (std::size_t j = i + 1; j < scopes.size() && scopes[j].tid == scopes[i].tid; ++j) {
      const Event& a = scopes[i];
      const Event& b = scopes[j];
      bool inside = b.ts + b.dur <= a.ts + a.dur + 1e-3;
      bool after = b.ts >= a.ts + a.dur - 1e-3;
      EXPECT_TRUE(inside || after) << a.name << " and " << b.name << " overlap on " << a.tid;
    }
}

// Durations the host measured around the scopes, per label, and the time it
// slept inside them.
struct Measured {
  std::size_t count = 0;
  double total = 0;
  double max = 0;
  double slept = 0;      // total
  double max_slept = 0;  // of one scope
};

// Runs the host in `dir` (XML when `xml`); returns its measurements.
inline std::map<std::string, Measured> run_host(const TempDir& dir, bool xml, int threads = 3) {
  std::string command = std::string("QZ_TRACE_LOGDIR='") + dir.path + "' " +
                        (xml ? "QZ_TRACE_XML=1 " : "") + VANTREL_TEST_HOSTS_DIR +
                        "/host_timeline_work " + std::to_string(threads) + " 2";
  int status = 0;
  std::string output = run(command, &status);
  EXPECT_EQ(status, 0);
  std::map<std::string, Measured> measured;
  for (const std::string& line : split(output, '\n')) {
    std::vector<std::string> f = split(line, '\t');
    if (f.size() != 3) continue;
    Measured& m = measured[f[0]];
    ++m.count;
    m.total += std::stod(f[1]);
    m.max = std::max(m.max, std::stod(f[1]));
    m.slept += std::stod(f[2]);
    m.max_slept = std::max(m.max_slept, std::stod(f[2]));
  }
  return measured;
}

inline std::vector<std::string> logs_in(const TempDir& dir) {
  std::vector<std::string> logs;
  for (const std::string& file : dir.files()) logs.push_back(dir.path + "/" + file);
  return logs;
}

// Summary rows: label => count, total, mean, median, p95, max.
inline std::map<std::string, std::vector<double>> summary_rows(const std::string& out) {
  std::map<std::string, std::vector<double>> rows;
  for (const std::string& line : split(out, '\n')) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    char* end = nullptr;
    if (words.size() < 7 || (std::strtod(words.back().c_str(), &end), *end != '\0')) continue;
    std::vector<double> figures;
    for (std::size_t i = words.size() - 6; i < words.size(); ++i)
      figures.push_back(std::stod(words[i]));
    std::string label = words[0];
    for (std::size_t i = 1; i + 6 < words.size(); ++i) label += " " + words[i];
    rows[label] = figures;
  }
  return rows;
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

using logfile_support::read_file;

inline std::string text_record(const std::string& time, char tag, const std::string& text,
                               const std::string& tid = "  11", char exception = ' ') {
  return "2026/12/06 10:00:" + time + "|>=| |" + exception + "|   10|" + tid + "|" + tag +
         "|||||||||||||||" + text + "\n";
}

}  // namespace timeline_support

#endif  // VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H

// Helpers of the vantrel-timeline tests: the built tool, its JSON and OTLP read
// back by Python's json module (timeline_digest.py), logs, cases/*.txt.
#ifndef VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H
#define VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "src/logfile_support.h"
#include "zeltools/cases_support.h"

namespace timeline_support {

using namespace logfile_support;

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

struct ToolRun {
  int status = 0;
  std::string out, err;
};

// Runs the tool with `arguments`, a shell command line.
inline ToolRun run_tool(const TempDir& dir, const std::string& arguments) {
  ToolRun result;
  const std::string err = dir.path + "/stderr.txt";
  result.out = run(VANTREL_BINARY_DIR "/tools/vantrel-timeline " + arguments + " 2>'" + err + "'",
                   &result.status);
  result.err = read_file(err);
  std::remove(err.c_str());
  result.status = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
  return result;
}

// The "json", "events" or "otlp" digest of the output `file` (timeline_digest.py).
inline std::string digest(const std::string& kind, const std::string& file) {
  int status = 0;
  std::string lines = run(
      "python3 '" VANTREL_SOURCE_DIR "/tests/tools/timeline_digest.py' " + kind + " '" + file + "'",
      &status);
  EXPECT_EQ(status, 0) << "not valid JSON: " << read_file(file);
  return lines;
}

// The files in `dir` (oldest first: their names hold their time) as shell words.
inline std::string logs_in(const TempDir& dir, bool newest_first = false) {
  std::vector<std::string> files = dir.files();
  if (newest_first) std::reverse(files.begin(), files.end());
  std::string words;
  for (const std::string& file : files) words += " '" + dir.path + "/" + file + "'";
  return words;
}

// Runs a host that writes logs into `dir` (XML with `xml`).
inline void run_host(const TempDir& dir, const char* host, bool xml = false) {
  int status = 0;
  run("QZ_TRACE_LOGDIR='" + dir.path + "' " + (xml ? "QZ_TRACE_XML=1 " : "") +
          VANTREL_TEST_HOSTS_DIR "/" + host,
      &status);
  EXPECT_EQ(status, 0) << host;
}

// A text record of process `pid`, thread `tid`, `ms` milliseconds after
// 10:00:00 (seconds wrap at a minute), in the workflow `root` ("order|7").
inline std::string text_record(int pid, int tid, int ms, char tag, const std::string& text,
                               const std::string& root = "|") {
  char time[16];
  std::snprintf(time, sizeof time, "%02d.%03d", ms / 1000 % 60, ms % 1000);
  return "2026/12/06 10:00:" + std::string(time) + "|>=| | |" + std::to_string(pid) + "|" +
         std::to_string(tid) + "|" + tag + "|||||" + root + "|||||||||" + text + "\n";
}

// A case file: "=== file NAME" writes an input (escaped as cases_support.h
// says; "noeol" after NAME drops the last newline); "=== run ARGS" runs the
// tool (DIR is the case's directory); after a run "=== status N",
// "=== stdout", "=== stderr" (empty where absent), "=== json" and "=== otlp"
// (digests of DIR/out.json, DIR/out.otlp.json) and "=== html" (lines of the
// well-formed DIR/out.html) say what it gives. With `files_only` the case only
// writes its inputs.
class Case {
 public:
  void play(const std::string& name, bool files_only = false) {
    std::vector<std::pair<std::string, std::string>> sections;
    for (const std::string& line :
         split(read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/" + name + ".txt"), '\n'))
      if (line.compare(0, 4, "=== ") == 0)
        sections.emplace_back(line.substr(4), "");
      else if (!sections.empty())
        sections.back().second += line + "\n";
    for (const auto& [head, body] : sections)
      if (!files_only || head.compare(0, 5, "file ") == 0) section(head, body);
    section("run", "");
  }
  ~Case() { EXPECT_EQ(system(("rm -rf '" + dir.path + "'/*").c_str()), 0); }
  TempDir dir;

 private:
  std::string in_dir(const std::string& text) const {
    return std::regex_replace(text, std::regex("DIR"), dir.path);
  }
  void section(const std::string& head, const std::string& body) {
    SCOPED_TRACE("=== " + head + " after run " + last_run);
    const std::string kind = head.substr(0, head.find(' ')),
                      arg = head.substr(std::min(head.size(), kind.size() + 1));
    const std::string out = dir.path + (kind == "json" ? "/out.json" : "/out.otlp.json");
    if (kind == "file") {
      const std::string path = dir.path + "/" + cases::unescape(arg.substr(0, arg.find(' ')));
      ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
      const bool noeol = arg.find(" noeol") != std::string::npos && !body.empty();
      std::ofstream(path, std::ios::binary) << cases::unescape(body.substr(0, body.size() - noeol));
    } else if (kind == "run") {  // what the last run gave; "run" alone ends the case
      EXPECT_EQ(tool.out, in_dir(want_out)) << "standard output of " << last_run;
      EXPECT_EQ(tool.err, in_dir(want_err)) << "standard error of " << last_run;
      want_out = want_err = "";
      EXPECT_EQ(system(("rm -f '" + dir.path + "'/out.*").c_str()), 0);
      if (!arg.empty()) tool = run_tool(dir, cases::unescape(in_dir(last_run = arg)));
    } else if (kind == "status") {
      EXPECT_EQ(tool.status, std::stoi(arg)) << tool.err;
    } else if (kind == "stdout" || kind == "stderr") {
      (kind == "stdout" ? want_out : want_err) = body;
    } else if (kind == "json" || kind == "otlp") {
      EXPECT_EQ(digest(kind, out), body);
    } else {
      EXPECT_EQ(kind, "html");
      const std::string page = read_file(dir.path + "/out.html");
      EXPECT_EQ(system(("xmllint --noout --html '" + dir.path + "/out.html'").c_str()), 0);
      EXPECT_EQ(page.find('\0'), std::string::npos) << "stray bytes in the page";
      for (const std::string& line : split(in_dir(body), '\n'))
        EXPECT_NE(page.find(line), std::string::npos) << line;
    }
  }
  ToolRun tool;
  std::string last_run, want_out, want_err;
};

}  // namespace timeline_support

#endif  // VANTREL_TESTS_TOOLS_TIMELINE_SUPPORT_H

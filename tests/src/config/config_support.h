// Runs a configuration text through Config::parse with both standard streams
// captured, and reads the case files of cases/: a case starts with "in: TEXT"
// (the run succeeds) or "bad: TEXT" (it fails); "start:" (a text run first
// for the starting record), "out:", "err:" (both "" when absent) and "set:"
// (the printed record) follow. Values take cases::unescape's escapes.
// Including it brings gtest, Vantrel.h, cases_support.h and the string streams.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "Vantrel.h"
#include "zeltools/cases_support.h"

namespace config_test {

struct RunResult {
  bool ok = false;
  std::string out, err;
  Vantrel::Config config;
};

inline RunResult run_stream(std::istream& in, const Vantrel::Config& start = {}) {
  RunResult r{false, "", "", start};
  std::ostringstream out, err;
  std::streambuf* saved_out = std::cout.rdbuf(out.rdbuf());
  std::streambuf* saved_err = std::cerr.rdbuf(err.rdbuf());
  r.ok = r.config.parse(in, "trace", "logs", "trace.ini");
  std::cout.rdbuf(saved_out);
  std::cerr.rdbuf(saved_err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

inline RunResult run(const std::string& text, const Vantrel::Config& start = {}) {
  std::istringstream in(text);
  return run_stream(in, start);
}

inline std::string printed(const Vantrel::Config& config) {
  std::ostringstream out;
  config.print(out);
  return out.str();
}

// A case's file:line and its values by key: "in" or "bad", then any of
// "start", "out", "err" and "set".
struct Case {
  std::string where;
  std::map<std::string, std::string> values;
};

inline std::vector<Case> load_cases(const std::string& name) {
  std::ifstream file(VANTREL_SOURCE_DIR "/tests/src/config/cases/" + name);
  std::vector<Case> cases;
  int number = 0;
  for (std::string line; std::getline(file, line);) {
    const std::string where = name + ":" + std::to_string(++number);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string key = line.substr(0, colon);
    if (key == "in" || key == "bad") cases.push_back({where, {}});
    if (cases.empty() || cases.back().values.count(key) ||
        std::string(" in bad start out err set ").find(" " + key + " ") == std::string::npos)
      ADD_FAILURE() << where << ": " << line;
    else
      cases.back().values[key] = cases::unescape(line.substr(std::min(colon + 2, line.size())));
  }
  EXPECT_FALSE(cases.empty()) << name;
  return cases;
}

// Runs a case from the record its start text leaves, and compares status,
// both channels and (when given) the printed record.
inline void check_case(Case c) {
  const bool ok = c.values.count("in") == 1, shown = c.values.count("set") == 1;
  SCOPED_TRACE(c.where + ": " + c.values[ok ? "in" : "bad"]);
  const RunResult start = run(c.values["start"]);
  ASSERT_TRUE(start.ok) << start.err;
  const RunResult r = run(c.values[ok ? "in" : "bad"], start.config);
  EXPECT_EQ(std::make_tuple(r.ok, r.out, r.err),
            std::make_tuple(ok, c.values["out"], c.values["err"]));
  EXPECT_EQ(shown ? printed(r.config) : "", c.values["set"]);
}

}  // namespace config_test

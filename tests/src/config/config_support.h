// Runs a configuration text through Config::parse with both standard streams
// captured, and reads the case files of cases/: a case starts with "in: TEXT"
// (the run succeeds) or "bad: TEXT" (it fails); "start:" (a text run first
// for the starting record), "out:", "err:" (both "" when absent) and "set:"
// (the printed record) follow. Values take cases::unescape's escapes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
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
  RunResult r;
  r.config = start;
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

struct Case {
  std::string where;  // file:line
  bool ok = true;
  std::string text, start, out, err, settings;
  bool check_settings = false;
};

inline std::vector<Case> load_cases(const std::string& name) {
  std::ifstream file(VANTREL_SOURCE_DIR "/tests/src/config/cases/" + name);
  std::vector<Case> cases;
  int number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string keys[] = {"in", "bad", "start", "out", "err", "set"};
    const auto k = std::find(keys, keys + 6, line.substr(0, colon)) - keys;
    const std::string value = cases::unescape(line.substr(std::min(colon + 2, line.size())));
    if (k < 2) {
      cases.push_back({name + ":" + std::to_string(number), k == 0, value, "", "", "", "", false});
    } else if (cases.empty() || k == 6) {
      ADD_FAILURE() << name << ":" << number << ": " << line;
    } else {
      Case& c = cases.back();
      std::string* const fields[] = {&c.start, &c.out, &c.err, &c.settings};
      *fields[k - 2] = value;
      c.check_settings |= k == 5;
    }
  }
  EXPECT_FALSE(cases.empty()) << name;
  return cases;
}

// Runs a case from the record its start text leaves, and compares status,
// both channels and (when given) the printed record.
inline void check_case(const Case& c) {
  SCOPED_TRACE(c.where + ": " + c.text);
  const RunResult start = run(c.start);
  ASSERT_TRUE(start.ok) << start.err;
  const RunResult r = run(c.text, start.config);
  EXPECT_EQ(std::make_tuple(r.ok, r.out, r.err), std::make_tuple(c.ok, c.out, c.err));
  if (c.check_settings) {
    EXPECT_EQ(printed(r.config), c.settings);
  }
}

}  // namespace config_test

// Runs a configuration text through Config::parse with both standard streams
// captured, for the configuration tests.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

#include "Vantrel.h"

namespace config_test {

struct RunResult {
  bool ok = false;
  std::string out;
  std::string err;
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

}  // namespace config_test

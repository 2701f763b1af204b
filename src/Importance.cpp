// Importance names, the importance constants' storage and Config helpers.
#include "Vantrel.h"

#include <algorithm>
#include <cstring>

#include "ImportanceConstants.h"

namespace Vantrel {

namespace {
// The constants' storage. Static zero-initialisation makes the references
// valid (reading zeros) before the library has started.
Importance constants[9];
}  // namespace

const Importance& XS = constants[0];
const Importance& S = constants[1];
const Importance& M = constants[2];
const Importance& L = constants[3];
const Importance& XL = constants[4];
const Importance& Success = constants[5];
const Importance& Warning = constants[6];
const Importance& Error = constants[7];
const Importance& Assert = constants[8];

void fill_importance_constants() {
  static const std::int32_t values[9][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0},
                                            {2, 0}, {3, 1}, {4, 2}, {4, 3}};
  for (int i = 0; i < 9; ++i) constants[i] = Importance(values[i][0], values[i][1]);
}

const char* Importance::level_name(std::int32_t level) {
  static const char* const names[importance_level_count] = {"<<", "<=", "==", ">=", ">>"};
  return level >= 0 && level < importance_level_count ? names[level] : "??";
}

const char* Importance::severity_name(std::int32_t severity) {
  static const char* const names[] = {" ", "W", "E", "A"};
  return severity >= 0 && severity <= 3 ? names[severity] : "?";
}

void Config::set_consultant(const std::string& name) {
  const std::size_t n = std::min(name.size(), consultant_capacity - 1);
  std::memcpy(consultant, name.data(), n);
  consultant[n] = '\0';
}

}  // namespace Vantrel

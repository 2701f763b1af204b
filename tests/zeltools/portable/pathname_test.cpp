// Pathname: pure text rules with '/' as the separator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "ZelTools/Portable.h"
#include "zeltools/cases_support.h"

namespace {

using ZelTools::Portable::Pathname;

std::string result_of(const std::string& op, const Pathname& path, const std::string& arg) {
  if (op == "file") return path.as_file();
  if (op == "join") return Pathname(path, arg).as_file();
  if (op == "dir") return path.as_dir();
  if (op == "base") return path.basename();
  if (op == "suffix") return path.basename(arg);
  const auto dot = static_cast<Pathname::Dot_type>(std::atoi(arg.c_str()));
  if (op == "dot") return Pathname(dot).as_file();
  if (op == "join dot") return Pathname(path, dot).as_file();
  try {
    return path.dirname().as_file();
  } catch (const std::out_of_range&) {
    return "out_of_range";
  }
}

TEST(PathnameTest, TextRules) {
  for (const auto& c : cases::read("zeltools/portable/cases/pathname.txt")) {
    EXPECT_EQ(result_of(c[0], Pathname(c[1]), c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
  }
}

}  // namespace

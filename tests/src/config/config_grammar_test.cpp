// The configuration language end to end: each case of cases/*.txt checked on
// its status, both channels and, where given, the record printed afterwards.
#include <cstdlib>

#include "config_support.h"

namespace {

using config_test::run;

TEST(ConfigCasesTest, EveryCaseOfEachFile) {
  setenv("VANTREL_CONFIG_TEST_VAR", "hello", 1);
  unsetenv("VANTREL_CONFIG_TEST_UNSET");
  for (const char* file : {"lexer.txt", "grammar.txt", "parse.txt", "expressions.txt"})
    for (const config_test::Case& c : config_test::load_cases(file)) check_case(c);
}

std::string nested(int depth) {
  return "echo(string(" + std::string(depth, '(') + "1" + std::string(depth, ')') + "));";
}

TEST(ConfigGrammarTest, ParseStackIsLimited) {
  EXPECT_EQ(run(nested(4000)).out, "1\n");
  const config_test::RunResult too_deep = run(nested(10001));
  EXPECT_FALSE(too_deep.ok);
  EXPECT_EQ(too_deep.out, "");
  EXPECT_EQ(too_deep.err.rfind("error: wrong syntax: at line 1.", 0), 0u) << too_deep.err;
}

}  // namespace

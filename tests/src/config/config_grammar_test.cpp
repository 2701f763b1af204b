// The configuration language end to end: each case of cases/*.txt checked on
// its status, both channels and, where given, the record printed afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "config_support.h"

namespace {

using config_test::run;

class ConfigCasesTest : public testing::TestWithParam<const char*> {};

TEST_P(ConfigCasesTest, EveryCaseOfTheFile) {
  setenv("VANTREL_CONFIG_TEST_VAR", "hello", 1);
  unsetenv("VANTREL_CONFIG_TEST_UNSET");
  for (const config_test::Case& c : config_test::load_cases(GetParam())) check_case(c);
}

INSTANTIATE_TEST_SUITE_P(Files, ConfigCasesTest,
                         testing::Values("lexer.txt", "grammar.txt", "parse.txt",
                                         "expressions.txt"),
                         [](const testing::TestParamInfo<const char*>& file) {
                           return std::string(file.param, std::strchr(file.param, '.'));
                         });

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

// The configuration language's grammar and evaluation: grouping, types,
// conditional execution, conversions, statements and the error rules, each
// checked on the output channel, the error channel and the record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Vantrel.h"
#include "config_support.h"

namespace {

using config_test::printed;
using config_test::run;
using config_test::RunResult;

const char* const unchanged = "active       = false;\nimportance   = '==';";

struct Case {
  const char* text;
  bool ok;
  const char* out;
  const char* err;
  const char* settings;  // Config::print of the record afterwards; null: not checked
};

void check(const Case& c) {
  SCOPED_TRACE(c.text);
  const RunResult r = run(c.text);
  EXPECT_EQ(r.ok, c.ok);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  if (c.settings) {
    EXPECT_EQ(printed(r.config), c.settings);
  }
}

TEST(ConfigGrammarTest, StatementsConversionsAndErrors) {
  const Case cases[] = {
      {"size = 20; size += 5; echo(string(size));", true, "25\n", "",
       "active       = false;\nimportance   = '==';\nsize         = 25;"},
      {"if (false) { echo(\"a\"); } else echo(\"b\");", true, "b\n", "", unchanged},
      {"if (true) if (false) echo(\"x\"); else echo(\"y\");", true, "y\n", "", unchanged},
      {"false && (active = true);", true, "", "", unchanged},
      {"true || (keep = true);", true, "", "", unchanged},
      {"true ? (keep = true) : (active = true);", true, "", "",
       "active       = false;\nimportance   = '==';\nkeep         = true;"},
      {"if (false) size = 1 / 0;", false, "",
       "error: division by zero: between line 1.23 and line 1.24\n", nullptr},
      {"if (false) size /= 0;", true, "", "", unchanged},
      {"echo(string(bool(\"0\")) + bool(\"\") + bool(\"false\"));", true, "falsefalsefalse\n", "",
       nullptr},
      {"echo(string(bool(\"FALSE\")) + bool(\" 0\"));", true, "truetrue\n", "", nullptr},
      {"echo(string(int(\" 42 \")) + \",\" + int(\"42x\") + \",\" + int(\"0x10\") + \",\" + "
       "int(\"-7\"));",
       true, "42,0,0,-7\n", "", nullptr},
      {"echo(\"v=\" + 3 + true + xl);", true, "v=3true>>\n", "", nullptr},
      {"echo(\"a\" + 1 + 2);", true, "a12\n", "", nullptr},
      {"echo(\"a\" + 1 - 2); echo(\"a\" + 1 << 2);", true, "a-1\na4\n", "", nullptr},
      {"echo \"x\";", false, "", "error: after 'echo': between line 1.6 and line 1.9\n", nullptr},
      {"echo();", false, "", "error: after '(': between line 1.6 and line 1.7\n", nullptr},
      {"echo(size);", false, "", "error: after '(': between line 1.10 and line 1.11\n", nullptr},
      {"if (size) echo(\"x\");", false, "", "error: syntax error: between line 1.9 and line 1.10\n",
       nullptr},
      {"size = \"a\";", false, "", "error: after int lhs =: between line 1.11 and line 1.12\n",
       nullptr},
      {"bool \"a\";", false, "", "error: missing '(' after 'bool': between line 1.6 and line 1.9\n",
       nullptr},
      {"echo(\"x\"); (", false, "x\n", "error: wrong syntax: at line 1.13\n", nullptr},
      {"\n\n\ndie(\"stop\");", false, "", "error: stop: at line 4.12\n", nullptr},
      {"size, size;", false, "", "error: syntax error: between line 1.5 and line 1.6\n", nullptr},
      {"n;", false, "", "error: unexpected keyword 'n': at line 1.2\n", nullptr},
  };
  for (const Case& c : cases) check(c);
}

TEST(ConfigGrammarTest, Grouping) {
  const Case cases[] = {
      {"echo(string(- 2 * 3));", true, "-6\n", "", nullptr},
      {"echo(string(2 + size = 5 * 3)); echo(string(size));", true, "17\n15\n", "", nullptr},
      {"echo(string(- actors_display_width = 5));", true, "-5\n", "", nullptr},
      {"size = 20; echo(string(++ size ++)); echo(string(size));", true, "21\n22\n", "", nullptr},
      {"active = keep = true;", true, "", "",
       "active       = true;\nimportance   = '==';\nkeep         = true;"},
      {"echo(string((size = 30) + 1));", true, "31\n", "", nullptr},
      {"echo(string(true ? 1 : false ? 2 : 3) + (false ? 1 : false ? 2 : 3));", true, "13\n", "",
       nullptr},
      {"echo(string(true || false ? 1 : 2));", true, "1\n", "", nullptr},
      {"echo(string(! true && false) + (1 == 2 & 3));", true, "falsefalse\n", "", nullptr},
      {"! 1 < 2;", false, "", "error: syntax error: between line 1.3 and line 1.4\n", nullptr},
      {"1 & 2 == 3;", false, "", "error: syntax error: between line 1.11 and line 1.12\n", nullptr},
      {"echo(1 + \"a\");", false, "", "error: after '(': between line 1.13 and line 1.14\n",
       nullptr},
      {"echo(string(7 / -2) + \",\" + -7 % 2 + \",\" + (-2147483647 - 1) / -1 + \",\" + "
       "(-2147483647 - 1) % -1);",
       true, "-3,-1,-2147483648,0\n", "", nullptr},
  };
  for (const Case& c : cases) check(c);
}

TEST(ConfigGrammarTest, StringsImportancesAndStatements) {
  setenv("VANTREL_CONFIG_TEST_VAR", "hello", 1);
  unsetenv("VANTREL_CONFIG_TEST_UNSET");
  const Case cases[] = {
      {"print(\"a\"); print(\"b\"); eprint(\"c\"); warn(\"w\");", true, "ab", "cwarning: w\n",
       nullptr},
      {"echo(getenv(\"VANTREL_CONFIG_TEST_VAR\") + \"|\" + getenv(\"VANTREL_CONFIG_TEST_UNSET\"));",
       true, "hello|\n", "", nullptr},
      {"echo(string(\"a\" < \"b\") + (\"b\" <= \"a\") + (\"ab\" == \"ab\") + (\"a\" != \"a\"));",
       true, "truefalsetruefalse\n", "", nullptr},
      {"echo(true ? \"yes\" : \"no\"); echo(false ? \"yes\" : \"no\");", true, "yes\nno\n", "",
       nullptr},
      {"echo(string(importance == m) + (xl > l) + ('<<' >= s) + string(importance = xl));", true,
       "truetruefalse>>\n", "", "active       = false;\nimportance   = '>>';"},
      {"echo(string(true) + string(-12) + string('<=') + string(\"s\"));", true, "true-12<=s\n", "",
       nullptr},
      {"echo(name + \" \" + log_dir + \" \" + config_file);", true, "trace logs trace.ini\n", "",
       nullptr},
      {"{ ; { echo(\"in\"); } }", true, "in\n", "", nullptr},
      {"echo(\"x\"); size = 20; 1 < 2 < 3;", false, "x\n",
       "error: syntax error: between line 1.32 and line 1.33\n", unchanged},
  };
  for (const Case& c : cases) check(c);
}

TEST(ConfigGrammarTest, SkippedPartsHaveNoEffects) {
  const Case cases[] = {
      {"if (false) { echo(\"no\"); size = 99; keep = true; warn(\"no\"); die(\"no\"); }", true, "",
       "", unchanged},
      {"if (false) echo(true ? \"a\" : \"b\"); else ;", true, "", "", unchanged},
      {"false ? (size = 20) : (size = 30); echo(string(size));", true, "30\n", "", nullptr},
      {"true && (false || (keep = true));", true, "", "",
       "active       = false;\nimportance   = '==';\nkeep         = true;"},
      {"if (true) {} else { if (true) echo(\"nested\"); }", true, "", "", unchanged},
      {"if (false) size++; echo(string(size));", true, "10000\n", "", nullptr},
      {"if (false) system(\"exit 3\"); echo(\"done\");", true, "done\n", "", nullptr},
  };
  for (const Case& c : cases) check(c);
}

TEST(ConfigGrammarTest, EveryErrorRuleHasItsMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"print 1;", "error: after 'print' or 'eprint': between line 1.7 and line 1.8\n"},
      {"eprint;", "error: after 'print' or 'eprint': between line 1.7 and line 1.8\n"},
      {"warn;", "error: after 'warn': between line 1.5 and line 1.6\n"},
      {"die 1;", "error: after 'die': between line 1.5 and line 1.6\n"},
      {"system;", "error: after 'system': between line 1.7 and line 1.8\n"},
      {"bool(,);", "error: after 'bool (': between line 1.6 and line 1.7\n"},
      {"int 1;", "error: missing '(' after 'int': between line 1.5 and line 1.6\n"},
      {"int(,);", "error: after 'int (': between line 1.5 and line 1.6\n"},
      {"(,);", "error: after '(': between line 1.2 and line 1.3\n"},
      {"active = 1;", "error: after bool lhs =: between line 1.11 and line 1.12\n"},
      {"size += \"a\";", "error: after int lhs op=: between line 1.12 and line 1.13\n"},
      {"string 1;", "error: missing '(' after 'string': between line 1.8 and line 1.9\n"},
      {"string(,);", "error: after 'string (': between line 1.8 and line 1.9\n"},
      {"getenv 1;", "error: after 'getenv': between line 1.8 and line 1.9\n"},
      {"consultant = 1;", "error: after str lhs =: between line 1.15 and line 1.16\n"},
      {"importance = 1;", "error: after imp lhs =: between line 1.15 and line 1.16\n"},
      {"echo(\"a\"\n  ,);", "error: after '(': between line 2.3 and line 2.4\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    const RunResult r = run(c.first);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, c.second);
  }
}

std::string nested(int depth) {
  return "echo(string(" + std::string(depth, '(') + "1" + std::string(depth, ')') + "));";
}

TEST(ConfigGrammarTest, ParseStackIsLimited) {
  const RunResult deep = run(nested(4000));
  EXPECT_TRUE(deep.ok);
  EXPECT_EQ(deep.out, "1\n");
  const RunResult too_deep = run(nested(10001));
  EXPECT_FALSE(too_deep.ok);
  EXPECT_EQ(too_deep.out, "");
  EXPECT_EQ(too_deep.err.rfind("error: wrong syntax: at line 1.", 0), 0u) << too_deep.err;
}

}  // namespace

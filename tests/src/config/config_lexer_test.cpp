// What cases/lexer.txt cannot hold: this build's facts, the process id, and
// how an error prints its position or span.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>

#include "config/ConfigLexer.h"
#include "config_support.h"

namespace {

using config_test::run;

TEST(ConfigLexerTest, BuildKindAndProcessId) {
#ifdef NDEBUG
  const char* const expected = "falsetruerelease";
#else
  const char* const expected = "truefalsedebug";
#endif
  EXPECT_EQ(run("echo(string(debug) + release + compile_option);").out,
            std::string(expected) + "\n");
  EXPECT_EQ(run("echo(string(pid) + \",\" + pid);").out,
            std::to_string(::getpid()) + "," + std::to_string(::getpid()) + "\n");
}

TEST(ConfigLexerTest, ErrorPrintsASpanWhenTheEndFollowsTheStart) {
  using Error = Vantrel::ConfigLexer::Error;
  std::ostringstream out;
  out << Error{"after 'echo'", {3, 6}, {3, 10}} << '|' << Error{"stop", {4, 12}, {4, 12}} << '|'
      << Error{"x", {2, 9}, {1, 3}} << '|' << Error{"y", {1, 2}, {2, 5}};
  EXPECT_EQ(out.str(),
            "error: after 'echo': between line 3.6 and line 3.10|error: stop: at line 4.12|"
            "error: x: at line 2.9|error: y: between line 1.2 and line 2.5");
}

}  // namespace

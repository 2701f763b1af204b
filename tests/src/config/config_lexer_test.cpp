// What cases/lexer.txt cannot hold: this build's facts, the process id, and
// how an error prints its position or span (cases/error_print.txt).
#include <unistd.h>

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
  const std::string pid = std::to_string(::getpid());
  EXPECT_EQ(run("echo(string(pid) + \",\" + pid);").out, pid + "," + pid + "\n");
}

TEST(ConfigLexerTest, ErrorPrintsASpanWhenTheEndFollowsTheStart) {
  for (const cases::Fields& c : cases::read("src/config/cases/error_print.txt")) {
    std::ostringstream out;
    out << Vantrel::ConfigLexer::Error{
        c[0], {std::stoi(c[1]), std::stoi(c[2])}, {std::stoi(c[3]), std::stoi(c[4])}};
    EXPECT_EQ(out.str(), c[5]);
  }
}

}  // namespace

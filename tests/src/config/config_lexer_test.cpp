// The configuration scanner: tokens, sub-operators, positions, the word
// tables and the lexer's errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "ConfigParser.hpp"
#include "Vantrel.h"
#include "config/ConfigLexer.h"
#include "config/ConfigRun.h"

namespace {

using Vantrel::Config;
using Vantrel::ConfigLexer;
using Vantrel::ConfigRun;
using Token = Vantrel::ConfigParser::token;

struct Scanned {
  int token;
  ConfigLexer::Value value;
  ConfigLexer::Location where;
};

// Scans a whole text (up to and including the end token, or the error).
class Scanner {
 public:
  explicit Scanner(const std::string& text)
      : in_(text), run_(config_, "trace", "logs", "trace.ini", &in_) {
    saved_ = std::cerr.rdbuf(errors_.rdbuf());
  }
  ~Scanner() { std::cerr.rdbuf(saved_); }

  std::vector<Scanned> all() {
    std::vector<Scanned> tokens;
    for (;;) {
      Scanned s{};
      run_.lexer().set_token_cells(&s.value, &s.where);
      s.token = run_.lexer().scan();
      tokens.push_back(s);
      if (s.token == 0) return tokens;
    }
  }
  // The message of the error that ends the scan, "" when none.
  std::string error_line() {
    try {
      all();
    } catch (const ConfigLexer::Error&) {
      return errors_.str();
    }
    return "";
  }
  ConfigRun& run() { return run_; }
  Config& config() { return config_; }

 private:
  Config config_;
  std::istringstream in_;
  ConfigRun run_;
  std::ostringstream errors_;
  std::streambuf* saved_;
};

struct TokenCase {
  const char* text;
  std::vector<int> tokens;  // without the end token
  std::vector<int> subs;    // sub-operator or int value per token, -1: not checked
};

TEST(ConfigLexerTest, TokenSequences) {
  const TokenCase cases[] = {
      {"size=keep", {Token::VAL_INT_LHS, Token::TK_EQ, Token::VAL_BOOL_LHS}, {-1, -1, -1}},
      {"size==keep", {Token::VAL_INT_LHS, Token::TK_EQUIV, Token::VAL_BOOL_LHS}, {-1, 1, -1}},
      {"size<<=2", {Token::VAL_INT_LHS, Token::TK_OPEQ, Token::VAL_INT}, {-1, 8, 2}},
      {"---", {Token::TK_MINUSMINUS, Token::TK_MINUS}, {-1, -1}},
      {"012", {Token::VAL_INT, Token::VAL_INT}, {0, 12}},
      {"/size", {Token::TK_MULT, Token::VAL_INT_LHS}, {1, -1}},
      {"&&= ||", {Token::TK_ANDAND, Token::TK_EQ, Token::TK_OROR}, {-1, -1, -1}},
      {"2147483647 2147483648", {Token::VAL_INT, Token::VAL_INT}, {2147483647, INT32_MIN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Scanner scanner(c.text);
    const auto tokens = scanner.all();
    ASSERT_EQ(tokens.size(), c.tokens.size() + 1);
    for (std::size_t i = 0; i < c.tokens.size(); ++i) {
      EXPECT_EQ(tokens[i].token, c.tokens[i]) << "token " << i;
      if (c.subs[i] != -1 || c.tokens[i] == Token::VAL_INT) {
        EXPECT_EQ(tokens[i].value.integer, c.subs[i]) << "token " << i;
      }
    }
    EXPECT_EQ(tokens.back().token, 0);
  }
}

struct OperatorCase {
  const char* text;
  int token;
  int sub;
};

// The operators the generated expressions of the randomised checks never
// use; their sub-operators are seen nowhere else.
TEST(ConfigLexerTest, AssignmentAndStatementOperators) {
  const OperatorCase cases[] = {
      {"=", Token::TK_EQ, -1},         {"-=", Token::TK_OPEQ, 0},
      {"+=", Token::TK_OPEQ, 1},       {"*=", Token::TK_OPEQ, 2},
      {"/=", Token::TK_OPEQ, 3},       {"%=", Token::TK_OPEQ, 4},
      {"&=", Token::TK_OPEQ, 5},       {"|=", Token::TK_OPEQ, 6},
      {"^=", Token::TK_OPEQ, 7},       {"<<=", Token::TK_OPEQ, 8},
      {">>=", Token::TK_OPEQ, 9},      {"--", Token::TK_MINUSMINUS, -1},
      {"++", Token::TK_PLUSPLUS, -1},  {"{", Token::TK_OPENBRACE, -1},
      {"}", Token::TK_CLOSEBRACE, -1}, {";", Token::TK_SEMI, -1},
      {",", Token::TK_COMMA, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Scanner scanner(c.text);
    const auto tokens = scanner.all();
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].token, c.token);
    if (c.sub >= 0) {
      EXPECT_EQ(tokens[0].value.integer, c.sub);
    }
    const int length = static_cast<int>(std::string(c.text).size());
    EXPECT_EQ(tokens[0].where.first_column, 1);
    EXPECT_EQ(tokens[0].where.last_column, 1 + length);
  }
}

TEST(ConfigLexerTest, BuildFactsOfThisPlatform) {
#ifdef NDEBUG
  const bool debug = false;
#else
  const bool debug = true;
#endif
  const std::pair<const char*, bool> names[] = {
      {"false", false}, {"true", true},  {"debug", debug},   {"release", !debug},
      {"win32", false}, {"unix", true},  {"solaris", false}, {"aix", false},
      {"hpux", false},  {"linux", true}, {"cxx", true},      {"java", false},
  };
  for (const auto& n : names) {
    SCOPED_TRACE(n.first);
    const auto tokens = Scanner(n.first).all();
    EXPECT_EQ(tokens[0].token, Token::VAL_BOOL);
    EXPECT_EQ(tokens[0].value.boolean, n.second);
  }
  Scanner scanner("oskind compile_option language name log_dir config_file stdout stderr");
  const auto tokens = scanner.all();
  const std::string expected[] = {
      "linux", debug ? "debug" : "release", "C++", "trace", "logs", "trace.ini", "-", "--"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tokens[i].token, Token::VAL_STR);
    EXPECT_LT(tokens[i].value.str, 0) << "predefined strings are persistent";
    EXPECT_EQ(scanner.run().at(tokens[i].value.str), expected[i]);
  }
}

TEST(ConfigLexerTest, ImportanceLiteralsNeedTheirQuotes) {
  const std::pair<const char*, const Vantrel::Importance*> literals[] = {
      {"'<<'", &Vantrel::XS}, {"'<='", &Vantrel::S},  {"'=='", &Vantrel::M},
      {"'>='", &Vantrel::L},  {"'>>'", &Vantrel::XL},
  };
  for (const auto& l : literals) {
    SCOPED_TRACE(l.first);
    const auto tokens = Scanner(l.first).all();
    EXPECT_EQ(tokens[0].token, Token::VAL_IMP);
    EXPECT_EQ(tokens[0].value.imp, l.second);
    EXPECT_EQ(tokens[0].where.last_column, 5);
  }
  EXPECT_EQ(Scanner("'x'").error_line(), "error: unexpected token ''': at line 1.2\n");
  EXPECT_EQ(Scanner("'<<").error_line(), "error: unexpected token ''': at line 1.2\n");
}

TEST(ConfigLexerTest, StringsAreLiteral) {
  Scanner scanner("\"a#b//c\" \"\" \"x\ny\" 7");
  const auto tokens = scanner.all();
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(scanner.run().at(tokens[0].value.str), "a#b//c");
  EXPECT_EQ(scanner.run().at(tokens[1].value.str), "");
  EXPECT_EQ(scanner.run().at(tokens[2].value.str), "x\ny");
  // A literal spanning lines advances the column on its first line only.
  EXPECT_EQ(tokens[3].where.first_line, 1);
  EXPECT_EQ(tokens[3].where.first_column, 19);
  EXPECT_EQ(Scanner("  \"open").error_line(), "error: unexpected token '\"': at line 1.4\n");
}

TEST(ConfigLexerTest, CommentsHideTheRestOfTheLine) {
  Scanner scanner("# \"not a string\n  // also \"not\"\r\n\t1");
  const auto tokens = scanner.all();
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].token, Token::VAL_INT);
  EXPECT_EQ(tokens[0].where.first_line, 3);
  EXPECT_EQ(tokens[0].where.first_column, 2);
}

TEST(ConfigLexerTest, PositionsOfTokensAndEndOfInput) {
  const auto tokens = Scanner("if (size)\n  echo  ").all();
  const int expected[][4] = {{1, 1, 1, 3},  {1, 4, 1, 5}, {1, 5, 1, 9},
                             {1, 9, 1, 10}, {2, 3, 2, 7}, {2, 9, 2, 9}};
  ASSERT_EQ(tokens.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tokens[i].where.first_line, expected[i][0]);
    EXPECT_EQ(tokens[i].where.first_column, expected[i][1]);
    EXPECT_EQ(tokens[i].where.last_line, expected[i][2]);
    EXPECT_EQ(tokens[i].where.last_column, expected[i][3]);
  }
}

TEST(ConfigLexerTest, ErrorsStopAfterTheOffendingToken) {
  const std::pair<const char*, const char*> cases[] = {
      {"x_1", "error: unexpected keyword 'x_1': at line 1.4\n"},
      {"Echo", "error: unexpected keyword 'Echo': at line 1.5\n"},
      {"_x", "error: unexpected token '_': at line 1.2\n"},
      {"1.5", "error: unexpected token '.': at line 1.3\n"},
      {"size\n  @", "error: unexpected token '@': at line 2.4\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(Scanner(c.first).error_line(), c.second);
  }
}

TEST(ConfigLexerTest, PidIsTheProcessIdEachTime) {
  const auto tokens = Scanner("pid pid").all();
  EXPECT_EQ(tokens[0].token, Token::VAL_INT);
  EXPECT_EQ(tokens[0].value.integer, ZelTools::Portable::getpid());
  EXPECT_EQ(tokens[1].value.integer, tokens[0].value.integer);
}

TEST(ConfigLexerTest, ErrorPrintsOnePositionOrASpan) {
  std::ostringstream out;
  out << ConfigLexer::Error{"after 'echo'", {3, 6}, {3, 10}} << '|'
      << ConfigLexer::Error{"stop", {4, 12}, {4, 12}} << '|'
      << ConfigLexer::Error{"x", {2, 9}, {1, 3}};
  EXPECT_EQ(out.str(),
            "error: after 'echo': between line 3.6 and line 3.10|"
            "error: stop: at line 4.12|error: x: at line 2.9");
}

}  // namespace

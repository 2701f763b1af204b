// Randomised checks: generated int and bool expressions, run by the
// configuration language, against the same expressions computed here with
// the language's rules (wrapping arithmetic, shift counts modulo 32,
// sign-extending right shift, truncating division, "division by zero" even in
// a branch that is not taken).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config_support.h"

namespace {

using I = std::int64_t;

std::int32_t wrap(I v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

struct Expr {
  std::string text;
  int prec;  // binding of the outermost operator: 14 for a primary
  std::int32_t value;
  bool div0;  // a division or remainder by zero occurs somewhere
};

constexpr int primary = 14;

struct Op {
  const char* text;
  int prec;
  I (*apply)(I, I);
};
const Op int_ops[] = {
    {"|", 5, [](I a, I b) { return a | b; }},
    {"^", 6, [](I a, I b) { return a ^ b; }},
    {"&", 7, [](I a, I b) { return a & b; }},
    {"<<", 10, [](I a, I b) { return I{static_cast<std::uint32_t>(a) << (b & 31)}; }},
    {">>", 10, [](I a, I b) { return a >> (b & 31); }},
    {"+", 11, [](I a, I b) { return a + b; }},
    {"-", 11, [](I a, I b) { return a - b; }},
    {"*", 12, [](I a, I b) { return a * b; }},
    {"/", 12, [](I a, I b) { return b == 0 ? 0 : a / b; }},
    {"%", 12, [](I a, I b) { return b == 0 ? 0 : a % b; }},
};
const Op comparisons[] = {
    {"==", 9, [](I a, I b) -> I { return a == b; }},
    {"!=", 9, [](I a, I b) -> I { return a != b; }},
    {"<", 10, [](I a, I b) -> I { return a < b; }},
    {"<=", 10, [](I a, I b) -> I { return a <= b; }},
    {">=", 10, [](I a, I b) -> I { return a >= b; }},
    {">", 10, [](I a, I b) -> I { return a > b; }},
};

// Parentheses only where grouping needs them, so the precedence table and
// left grouping are exercised.
std::string group(const Expr& e, bool need) { return need ? "(" + e.text + ")" : e.text; }

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  Expr any(bool boolean, int depth) { return boolean ? bool_expr(depth) : int_expr(depth); }

  Expr int_expr(int depth) {
    const int choice = depth <= 0 ? 0 : pick(10);
    if (choice <= 1) {
      static const I limits[] = {3, 40, 100000, 2147483647};
      const I v = std::uniform_int_distribution<I>(0, limits[pick(4)])(rng_);
      return {std::to_string(v), primary, wrap(v), false};
    }
    if (choice == 2) {
      const Expr a = int_expr(depth - 1);
      const int op = pick(3);
      const I v = op == 0 ? -I{a.value} : op == 1 ? a.value : ~a.value;
      return {std::string(1, "-+~"[op]) + " " + group(a, a.prec < 13), 13, wrap(v), a.div0};
    }
    if (choice == 3) return conditional(false, depth);
    const Op& op = int_ops[pick(10)];
    const Expr a = int_expr(depth - 1), b = int_expr(depth - 1);
    const bool by_zero = op.prec == 12 && op.text[0] != '*' && b.value == 0;
    return {group(a, a.prec < op.prec) + " " + op.text + " " + group(b, b.prec <= op.prec), op.prec,
            wrap(op.apply(a.value, b.value)), a.div0 || b.div0 || by_zero};
  }

  Expr bool_expr(int depth) {
    const int choice = depth <= 0 ? pick(2) : pick(8);
    if (choice == 0) {
      const bool v = pick(2) == 1;
      return {v ? "true" : "false", primary, v, false};
    }
    if (choice == 1 || choice == 5) {  // two ints or two bools compared
      const Op& op = comparisons[pick(6)];
      const Expr a = any(choice == 5, depth - 1), b = any(choice == 5, depth - 1);
      return {"(" + group(a, a.prec < 10) + " " + op.text + " " + group(b, b.prec < 10) + ")",
              primary, static_cast<std::int32_t>(op.apply(a.value, b.value)), a.div0 || b.div0};
    }
    if (choice == 6) return conditional(true, depth);
    const Expr a = any(choice != 7, depth - 1);
    if (choice == 2) return {"!" + a.text, primary, !a.value, a.div0};
    if (choice == 7) return {"bool(" + a.text + ")", primary, a.value != 0, a.div0};
    const Expr b = bool_expr(depth - 1);
    const bool v = choice == 3 ? a.value && b.value : a.value || b.value;
    return {"(" + a.text + (choice == 3 ? " && " : " || ") + b.text + ")", primary, v,
            a.div0 || b.div0};
  }

 private:
  Expr conditional(bool boolean, int depth) {
    const Expr c = bool_expr(depth - 1), a = any(boolean, depth - 1), b = any(boolean, depth - 1);
    return {"(" + c.text + " ? " + a.text + " : " + b.text + ")", primary,
            c.value ? a.value : b.value, c.div0 || a.div0 || b.div0};
  }

  std::mt19937 rng_;
};

// Runs the expressions without a division by zero as one text and each of
// the others alone; checks every printed value and every failure.
void check_all(const std::vector<Expr>& exprs, bool as_bool) {
  std::string batch, expected;
  for (const Expr& e : exprs) {
    const std::string statement = "echo(string(" + e.text + "));\n";
    if (e.div0) {
      const auto r = config_test::run(statement);
      EXPECT_TRUE(!r.ok && r.err.rfind("error: division by zero: between line 1.", 0) == 0)
          << e.text << "\n"
          << r.err;
      continue;
    }
    batch += statement;
    expected += as_bool ? (e.value ? "true\n" : "false\n") : std::to_string(e.value) + "\n";
  }
  const auto r = config_test::run(batch);
  ASSERT_TRUE(r.ok) << r.err;
  // Line by line, so that a failure names its expression.
  std::istringstream got(r.out), want(expected), texts(batch);
  for (std::string g, w, t; std::getline(want, w) && std::getline(texts, t);) {
    ASSERT_TRUE(std::getline(got, g)) << t;
    ASSERT_EQ(g, w) << t;
  }
  EXPECT_EQ(got.rdbuf()->in_avail(), 0);
}

TEST(ConfigRandomTest, ExpressionsMatchTheLanguagesRules) {
  Generator gen(20261206);
  std::vector<Expr> ints, bools;
  for (int i = 0; i < 3000; ++i) ints.push_back(gen.int_expr(1 + gen.pick(5)));
  for (int i = 0; i < 2000; ++i) bools.push_back(gen.bool_expr(1 + gen.pick(4)));
  check_all(ints, false);
  check_all(bools, true);
}

}  // namespace

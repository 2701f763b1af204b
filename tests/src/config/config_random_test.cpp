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

struct Expr {
  std::string text;
  int prec;  // binding of the outermost operator: 14 for a primary
  std::int32_t value;
  bool div0;  // a division or remainder by zero occurs somewhere
};

constexpr int primary = 14;

std::int32_t wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

struct BinaryOp {
  const char* text;
  int prec;
};
const BinaryOp int_ops[] = {{"|", 5},  {"^", 6},  {"&", 7},  {"<<", 10}, {">>", 10},
                            {"+", 11}, {"-", 11}, {"*", 12}, {"/", 12},  {"%", 12}};

// The operators in the order of int_ops.
std::int32_t apply(int op, std::int32_t a, std::int32_t b, bool& div0) {
  const std::int64_t la = a, lb = b;
  if (op >= 8) {
    div0 |= b == 0;
    return b == 0 ? 0 : op == 8 ? wrap(la / lb) : static_cast<std::int32_t>(la % lb);
  }
  const std::int32_t results[] = {
      a | b,
      a ^ b,
      a & b,
      wrap(static_cast<std::int64_t>(static_cast<std::uint32_t>(a) << (b & 31))),
      static_cast<std::int32_t>(la >> (b & 31)),
      wrap(la + lb),
      wrap(la - lb),
      wrap(la * lb)};
  return results[op];
}

std::string wrapped(const Expr& e, bool need) { return need ? "(" + e.text + ")" : e.text; }

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  Expr int_expr(int depth) {
    const int choice = depth <= 0 ? 0 : pick(10);
    if (choice <= 1) return literal();
    if (choice == 2) return unary(depth);
    if (choice == 3) return conditional(depth);
    return binary(depth);
  }

  Expr bool_expr(int depth) {
    const int choice = depth <= 0 ? pick(2) : pick(8);
    switch (choice) {
      case 0: {
        const bool v = pick(2) == 1;
        return {v ? "true" : "false", primary, v, false};
      }
      case 1:
        return comparison(depth);
      case 2: {
        const Expr a = bool_expr(depth - 1);
        return {"!" + wrapped(a, a.prec < primary), primary, !a.value, a.div0};
      }
      case 3:
      case 4: {
        const Expr a = bool_expr(depth - 1), b = bool_expr(depth - 1);
        const bool is_and = choice == 3;
        const bool v = is_and ? (a.value && b.value) : (a.value || b.value);
        return {"(" + a.text + (is_and ? " && " : " || ") + b.text + ")", primary, v,
                a.div0 || b.div0};
      }
      case 5: {
        const Expr a = bool_expr(depth - 1), b = bool_expr(depth - 1);
        static const char* const ops[] = {"==", "!=", "<", "<=", ">=", ">"};
        const int op = pick(6);
        return {"(" + a.text + " " + ops[op] + " " + b.text + ")", primary,
                compare(op, a.value, b.value), a.div0 || b.div0};
      }
      case 6: {
        const Expr c = bool_expr(depth - 1), a = bool_expr(depth - 1), b = bool_expr(depth - 1);
        return {"(" + c.text + " ? " + a.text + " : " + b.text + ")", primary,
                c.value ? a.value : b.value, c.div0 || a.div0 || b.div0};
      }
      default: {
        const Expr a = int_expr(depth - 1);
        return {"bool(" + a.text + ")", primary, a.value != 0, a.div0};
      }
    }
  }

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

 private:
  static bool compare(int op, std::int32_t a, std::int32_t b) {
    const bool results[] = {a == b, a != b, a<b, a <= b, a >= b, a> b};
    return results[op];
  }

  Expr literal() {
    static const std::int64_t limits[] = {3, 40, 100000, 2147483647};
    const std::int64_t limit = limits[pick(4)];
    const auto v = std::uniform_int_distribution<std::int64_t>(0, limit)(rng_);
    return {std::to_string(v), primary, static_cast<std::int32_t>(v), false};
  }

  Expr unary(int depth) {
    const Expr a = int_expr(depth - 1);
    static const char* const ops[] = {"- ", "+ ", "~ "};
    const int op = pick(3);
    const std::int32_t v = op == 0   ? wrap(-static_cast<std::int64_t>(a.value))
                           : op == 1 ? a.value
                                     : ~a.value;
    return {ops[op] + wrapped(a, a.prec < 13), 13, v, a.div0};
  }

  Expr conditional(int depth) {
    const Expr c = bool_expr(depth - 1), a = int_expr(depth - 1), b = int_expr(depth - 1);
    return {"(" + c.text + " ? " + a.text + " : " + b.text + ")", primary,
            c.value ? a.value : b.value, c.div0 || a.div0 || b.div0};
  }

  // Parentheses only where grouping needs them, so the precedence table and
  // left grouping are exercised.
  Expr binary(int depth) {
    const int op = pick(10);
    const Expr a = int_expr(depth - 1), b = int_expr(depth - 1);
    const int prec = int_ops[op].prec;
    bool div0 = a.div0 || b.div0;
    const std::int32_t v = apply(op, a.value, b.value, div0);
    return {wrapped(a, a.prec < prec) + " " + int_ops[op].text + " " + wrapped(b, b.prec <= prec),
            prec, v, div0};
  }

  Expr comparison(int depth) {
    static const char* const ops[] = {"==", "!=", "<", "<=", ">=", ">"};
    const int op = pick(6);
    const Expr a = int_expr(depth - 1), b = int_expr(depth - 1);
    return {"(" + wrapped(a, a.prec < 10) + " " + ops[op] + " " + wrapped(b, b.prec < 10) + ")",
            primary, compare(op, a.value, b.value), a.div0 || b.div0};
  }

  std::mt19937 rng_;
};

using config_test::run;

// Runs the expressions without a division by zero in batches and each of
// the others alone; checks every printed value and every failure.
void check_all(const std::vector<Expr>& exprs, bool as_bool) {
  std::string batch, expected;
  for (std::size_t i = 0; i < exprs.size(); ++i) {
    const Expr& e = exprs[i];
    const std::string statement = "echo(string(" + e.text + "));\n";
    if (e.div0) {
      const auto o = run(statement);
      EXPECT_FALSE(o.ok) << e.text;
      EXPECT_EQ(o.err.rfind("error: division by zero: between line 1.", 0), 0u) << e.text << "\n"
                                                                                << o.err;
      continue;
    }
    batch += statement;
    expected += as_bool ? (e.value ? "true\n" : "false\n") : std::to_string(e.value) + "\n";
    if (batch.size() > 20000 || i + 1 == exprs.size()) {
      const auto o = run(batch);
      ASSERT_TRUE(o.ok) << o.err;
      // Compare line by line so that a failure names its expression.
      std::istringstream got(o.out), want(expected), texts(batch);
      std::string g, w, t;
      while (std::getline(want, w)) {
        std::getline(got, g);
        std::getline(texts, t);
        ASSERT_EQ(g, w) << t;
      }
      batch.clear();
      expected.clear();
    }
  }
}

TEST(ConfigRandomTest, IntExpressionsMatchTheLanguagesArithmetic) {
  Generator gen(20261206);
  std::vector<Expr> exprs;
  for (int i = 0; i < 3000; ++i) exprs.push_back(gen.int_expr(1 + gen.pick(5)));
  check_all(exprs, false);
}

TEST(ConfigRandomTest, BoolExpressionsMatchTheLanguagesLogic) {
  Generator gen(4242);
  std::vector<Expr> exprs;
  for (int i = 0; i < 2000; ++i) exprs.push_back(gen.bool_expr(1 + gen.pick(4)));
  check_all(exprs, true);
}

}  // namespace

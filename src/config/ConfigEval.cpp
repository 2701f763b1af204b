// The operations of the configuration language.
#include "config/ConfigEval.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <ostream>

#include "ZelTools/Portable.h"

namespace Vantrel {
namespace ConfigEval {

namespace {

std::uint32_t bits(std::int32_t v) { return static_cast<std::uint32_t>(v); }
std::int32_t from_bits(std::uint32_t v) { return static_cast<std::int32_t>(v); }

std::int32_t shift_right(std::int32_t a, unsigned count) {
  // Sign-extending, written so that it does not rely on how the compiler
  // shifts negative numbers.
  return a < 0 ? ~from_bits(~bits(a) >> count) : from_bits(bits(a) >> count);
}

std::int32_t divide(IntOp op, std::int32_t a, std::int32_t b) {
  if (b == -1) return op == IntOp::Divide ? from_bits(0u - bits(a)) : 0;
  return op == IntOp::Divide ? a / b : a % b;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

IntOp mult_op(int sub) {
  static const IntOp ops[] = {IntOp::Times, IntOp::Divide, IntOp::Remainder};
  return ops[sub];
}

IntOp shift_op(int sub) { return sub == 0 ? IntOp::ShiftLeft : IntOp::ShiftRight; }

IntOp compound_op(int sub) { return static_cast<IntOp>(sub); }

bool is_division(IntOp op) { return op == IntOp::Divide || op == IntOp::Remainder; }

std::int32_t int_binary(IntOp op, std::int32_t a, std::int32_t b) {
  switch (op) {
    case IntOp::Minus:
      return from_bits(bits(a) - bits(b));
    case IntOp::Plus:
      return from_bits(bits(a) + bits(b));
    case IntOp::Times:
      return from_bits(bits(a) * bits(b));
    case IntOp::Divide:
    case IntOp::Remainder:
      return b == 0 ? 0 : divide(op, a, b);
    case IntOp::And:
      return a & b;
    case IntOp::Or:
      return a | b;
    case IntOp::Xor:
      return a ^ b;
    case IntOp::ShiftLeft:
      return from_bits(bits(a) << (bits(b) & 31u));
    case IntOp::ShiftRight:
      return shift_right(a, bits(b) & 31u);
  }
  return 0;
}

std::int32_t int_negate(std::int32_t a) { return from_bits(0u - bits(a)); }

bool order(int sub, int sign) {
  switch (sub) {
    case 0:
      return sign < 0;
    case 1:
      return sign <= 0;
    case 2:
      return sign >= 0;
    default:
      return sign > 0;
  }
}

bool equiv(int sub, bool equal) { return sub == 1 ? equal : !equal; }

bool string_to_bool(const std::string& text) {
  return !(text.empty() || text == "0" || text == "false");
}

std::int32_t string_to_int(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digits = i;
  std::uint32_t value = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (i == digits) return 0;
  while (i < n && is_blank(text[i])) ++i;
  if (i != n) return 0;
  return from_bits(negative ? 0u - value : value);
}

const char* bool_text(bool value) { return value ? "true" : "false"; }

std::string int_text(std::int32_t value) { return std::to_string(value); }

// --- operations on a run ----------------------------------------------------

std::int32_t arith(ConfigLexer& lexer, IntOp op, std::int32_t a, std::int32_t b,
                   const ConfigLexer::Location& right) {
  if (is_division(op) && b == 0) lexer.raise("division by zero", right);
  return int_binary(op, a, b);
}

int temporary(ConfigLexer& lexer, const std::string& text) {
  return lexer.executing() ? lexer.add(text, false) : lexer.empty_string();
}

void consume(ConfigLexer& lexer, int handle) { lexer.release(handle); }

int concat(ConfigLexer& lexer, int left, const std::string& right) {
  if (!lexer.executing()) return lexer.empty_string();
  lexer.check_string_length(lexer.at(left).size() + right.size());
  const int result = lexer.add(lexer.at(left) + right, false);
  consume(lexer, left);
  return result;
}

int concat_str(ConfigLexer& lexer, int left, int right) {
  if (!lexer.executing()) return lexer.empty_string();
  const int result = concat(lexer, left, lexer.at(right));
  consume(lexer, right);
  return result;
}

bool compare_str(ConfigLexer& lexer, bool is_equiv, int sub, int left, int right) {
  if (!lexer.executing()) return false;
  const int sign = lexer.at(left).compare(lexer.at(right));
  consume(lexer, left);
  consume(lexer, right);
  return is_equiv ? equiv(sub, sign == 0) : order(sub, sign);
}

int to_str(ConfigLexer& lexer, bool value) { return temporary(lexer, bool_text(value)); }

int to_str(ConfigLexer& lexer, std::int32_t value) { return temporary(lexer, int_text(value)); }

int to_str(ConfigLexer& lexer, const Importance* value) {
  return temporary(lexer, Importance::level_name(value->level));
}

bool str_to_bool(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return false;
  const bool value = string_to_bool(lexer.at(handle));
  consume(lexer, handle);
  return value;
}

std::int32_t str_to_int(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return 0;
  const std::int32_t value = string_to_int(lexer.at(handle));
  consume(lexer, handle);
  return value;
}

int read_str(ConfigLexer& lexer, ConfigLexer::StrLhs* lhs) { return temporary(lexer, lhs->get()); }

int getenv_value(ConfigLexer& lexer, int name) {
  if (!lexer.executing()) return lexer.empty_string();
  // A privileged (setuid or setgid) process reads every variable as unset:
  // its environment is the caller's.
  const char* value = ::secure_getenv(lexer.at(name).c_str());
  const std::string text = value ? value : "";
  lexer.check_string_length(text.size());
  const int result = temporary(lexer, text);
  consume(lexer, name);
  return result;
}

bool* assign(ConfigLexer& lexer, bool* lhs, bool value) {
  if (lexer.executing()) *lhs = value;
  return lhs;
}

ConfigLexer::IntLhs* assign(ConfigLexer& lexer, ConfigLexer::IntLhs* lhs, std::int32_t value) {
  if (lexer.executing()) lhs->set(value);
  return lhs;
}

ConfigLexer::IntLhs* assign_compound(ConfigLexer& lexer, ConfigLexer::IntLhs* lhs, int sub,
                                     std::int32_t value, const ConfigLexer::Location& right) {
  if (lexer.executing()) lhs->set(arith(lexer, compound_op(sub), lhs->get(), value, right));
  return lhs;
}

ConfigLexer::StrLhs* assign(ConfigLexer& lexer, ConfigLexer::StrLhs* lhs, int handle) {
  if (lexer.executing()) {
    lhs->set(lexer.at(handle));
    consume(lexer, handle);
  }
  return lhs;
}

Importance* assign(ConfigLexer& lexer, Importance* lhs, const Importance* value) {
  if (lexer.executing()) *lhs = *value;
  return lhs;
}

ConfigLexer::IntLhs* pre_increment(ConfigLexer& lexer, ConfigLexer::IntLhs* lhs, int delta) {
  if (lexer.executing()) lhs->set(int_binary(IntOp::Plus, lhs->get(), delta));
  return lhs;
}

std::int32_t post_increment(ConfigLexer& lexer, ConfigLexer::IntLhs* lhs, int delta) {
  const std::int32_t value = lhs->get();
  if (lexer.executing()) lhs->set(int_binary(IntOp::Plus, value, delta));
  return value;
}

void echo(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return;
  lexer.output() << lexer.at(handle) << std::endl;
  consume(lexer, handle);
}

void print(ConfigLexer& lexer, int channel, int handle) {
  if (!lexer.executing()) return;
  (channel == 0 ? lexer.output() : lexer.error_output()) << lexer.at(handle);
  consume(lexer, handle);
}

void warn(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return;
  lexer.error_output() << "warning: " << lexer.at(handle) << std::endl;
  consume(lexer, handle);
}

void die(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return;
  const std::string message = lexer.at(handle);
  consume(lexer, handle);
  lexer.raise(message);
}

namespace {
// Relaxed: set once by a tool's main before any run, on the same thread.
std::atomic<SystemMode> system_mode{SystemMode::Run};
}  // namespace

void set_system_mode(SystemMode mode) { system_mode.store(mode, std::memory_order_relaxed); }

void run_system(ConfigLexer& lexer, int handle) {
  if (!lexer.executing()) return;
  // Flush first, so that the command's output follows what the text wrote.
  lexer.output().flush();
  lexer.error_output().flush();
  if (system_mode.load(std::memory_order_relaxed) == SystemMode::Show) {
    std::cerr << "vantrel-config: not run: " << lexer.at(handle) << std::endl;
  } else {
    const int ignored = std::system(lexer.at(handle).c_str());
    static_cast<void>(ignored);
  }
  consume(lexer, handle);
}

}  // namespace ConfigEval
}  // namespace Vantrel

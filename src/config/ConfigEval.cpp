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

std::int32_t arith(ConfigRun& run, IntOp op, std::int32_t a, std::int32_t b,
                   const ConfigLexer::Location& right) {
  if (is_division(op) && b == 0) run.raise("division by zero", right);
  return int_binary(op, a, b);
}

int temporary(ConfigRun& run, const std::string& text) {
  return run.executing() ? run.add(text, false) : run.empty_string();
}

void consume(ConfigRun& run, int handle) { run.release(handle); }

int concat(ConfigRun& run, int left, const std::string& right) {
  if (!run.executing()) return run.empty_string();
  run.check_string_length(run.at(left).size() + right.size());
  const int result = run.add(run.at(left) + right, false);
  consume(run, left);
  return result;
}

int concat_str(ConfigRun& run, int left, int right) {
  if (!run.executing()) return run.empty_string();
  const int result = concat(run, left, run.at(right));
  consume(run, right);
  return result;
}

bool compare_str(ConfigRun& run, bool is_equiv, int sub, int left, int right) {
  if (!run.executing()) return false;
  const int sign = run.at(left).compare(run.at(right));
  consume(run, left);
  consume(run, right);
  return is_equiv ? equiv(sub, sign == 0) : order(sub, sign);
}

int to_str(ConfigRun& run, bool value) { return temporary(run, bool_text(value)); }

int to_str(ConfigRun& run, std::int32_t value) { return temporary(run, int_text(value)); }

int to_str(ConfigRun& run, const Importance* value) {
  return temporary(run, Importance::level_name(value->level));
}

bool str_to_bool(ConfigRun& run, int handle) {
  if (!run.executing()) return false;
  const bool value = string_to_bool(run.at(handle));
  consume(run, handle);
  return value;
}

std::int32_t str_to_int(ConfigRun& run, int handle) {
  if (!run.executing()) return 0;
  const std::int32_t value = string_to_int(run.at(handle));
  consume(run, handle);
  return value;
}

int read_str(ConfigRun& run, ConfigTargets::StrLhs* lhs) { return temporary(run, lhs->get()); }

int getenv_value(ConfigRun& run, int name) {
  if (!run.executing()) return run.empty_string();
  // A privileged (setuid or setgid) process reads every variable as unset:
  // its environment is the caller's.
  const char* value = ::secure_getenv(run.at(name).c_str());
  const std::string text = value ? value : "";
  run.check_string_length(text.size());
  const int result = temporary(run, text);
  consume(run, name);
  return result;
}

bool* assign(ConfigRun& run, bool* lhs, bool value) {
  if (run.executing()) *lhs = value;
  return lhs;
}

ConfigTargets::IntLhs* assign(ConfigRun& run, ConfigTargets::IntLhs* lhs, std::int32_t value) {
  if (run.executing()) lhs->set(value);
  return lhs;
}

ConfigTargets::IntLhs* assign_compound(ConfigRun& run, ConfigTargets::IntLhs* lhs, int sub,
                                       std::int32_t value, const ConfigLexer::Location& right) {
  if (run.executing()) lhs->set(arith(run, compound_op(sub), lhs->get(), value, right));
  return lhs;
}

ConfigTargets::StrLhs* assign(ConfigRun& run, ConfigTargets::StrLhs* lhs, int handle) {
  if (run.executing()) {
    lhs->set(run.at(handle));
    consume(run, handle);
  }
  return lhs;
}

Importance* assign(ConfigRun& run, Importance* lhs, const Importance* value) {
  if (run.executing()) *lhs = *value;
  return lhs;
}

ConfigTargets::IntLhs* pre_increment(ConfigRun& run, ConfigTargets::IntLhs* lhs, int delta) {
  if (run.executing()) lhs->set(int_binary(IntOp::Plus, lhs->get(), delta));
  return lhs;
}

std::int32_t post_increment(ConfigRun& run, ConfigTargets::IntLhs* lhs, int delta) {
  const std::int32_t value = lhs->get();
  if (run.executing()) lhs->set(int_binary(IntOp::Plus, value, delta));
  return value;
}

void echo(ConfigRun& run, int handle) {
  if (!run.executing()) return;
  run.output() << run.at(handle) << std::endl;
  consume(run, handle);
}

void print(ConfigRun& run, int channel, int handle) {
  if (!run.executing()) return;
  (channel == 0 ? run.output() : run.error_output()) << run.at(handle);
  consume(run, handle);
}

void warn(ConfigRun& run, int handle) {
  if (!run.executing()) return;
  run.error_output() << "warning: " << run.at(handle) << std::endl;
  consume(run, handle);
}

void die(ConfigRun& run, int handle) {
  if (!run.executing()) return;
  const std::string message = run.at(handle);
  consume(run, handle);
  run.raise(message);
}

namespace {
// Relaxed: set once by a tool's main before any run, on the same thread.
std::atomic<SystemMode> system_mode{SystemMode::Run};
}  // namespace

void set_system_mode(SystemMode mode) { system_mode.store(mode, std::memory_order_relaxed); }

void run_system(ConfigRun& run, int handle) {
  if (!run.executing()) return;
  // Flush first, so that the command's output follows what the text wrote.
  run.output().flush();
  run.error_output().flush();
  if (system_mode.load(std::memory_order_relaxed) == SystemMode::Show) {
    std::cerr << "vantrel-config: not run: " << run.at(handle) << std::endl;
  } else {
    const int ignored = std::system(run.at(handle).c_str());
    static_cast<void>(ignored);
  }
  consume(run, handle);
}

}  // namespace ConfigEval
}  // namespace Vantrel

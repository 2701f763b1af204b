// Evaluation of the configuration language: the operations that the grammar's
// actions apply while the text is parsed.
//
// The pure operations (int arithmetic, comparisons, conversions) work on
// values alone. The others work on a ConfigRun: they read and write its
// string pool, honour its execution flag (an effect happens only while the
// text is executing) and write to its channels. All of them run on the
// thread of the configuration run, on its private state; none takes a lock.
#ifndef VANTREL_SRC_CONFIG_CONFIGEVAL_H
#define VANTREL_SRC_CONFIG_CONFIGEVAL_H

#include <cstdint>
#include <string>

#include "config/ConfigRun.h"

namespace Vantrel {
namespace ConfigEval {

// Int operators, numbered as the sub-operators of the compound assignments
// ("-=" 0, "+=" 1, ... ">>=" 9).
enum class IntOp { Minus = 0, Plus, Times, Divide, Remainder, And, Or, Xor, ShiftLeft, ShiftRight };

// "*" "/" "%" carry 0 1 2; "<<" ">>" carry 0 1.
IntOp mult_op(int sub);
IntOp shift_op(int sub);
IntOp compound_op(int sub);
bool is_division(IntOp op);

// Wrapping 32-bit arithmetic: shift counts are taken modulo 32, ">>" keeps
// the sign, "/" truncates toward zero and "%" has the sign of the dividend.
// The most negative int divided by -1 wraps to itself (remainder 0). The
// caller checks for a zero divisor.
std::int32_t int_binary(IntOp op, std::int32_t a, std::int32_t b);
std::int32_t int_negate(std::int32_t a);

// sign < 0, == 0 or > 0 for a before, equal to or after b; sub is the
// sub-operator of "<" "<=" ">=" ">" (0..3).
bool order(int sub, int sign);
// sub is the sub-operator of "!=" "==" (0, 1).
bool equiv(int sub, bool equal);

// false exactly for "false", "0" and "".
bool string_to_bool(const std::string& text);
// A decimal int with optional blanks around it and an optional sign; 0 when
// anything else is there.  " 42 " => 42, "-7" => -7, "42x" => 0, "0x10" => 0
std::int32_t string_to_int(const std::string& text);
const char* bool_text(bool value);
std::string int_text(std::int32_t value);

// --- operations on a run ----------------------------------------------------

// The int operator, raising "division by zero" (located at the right
// operand) for "/" and "%" by 0 whether or not the text is executing.
std::int32_t arith(ConfigRun& run, IntOp op, std::int32_t a, std::int32_t b,
                   const ConfigLexer::Location& right);

// A new temporary holding text, or the empty string when not executing.
int temporary(ConfigRun& run, const std::string& text);
// Releases a temporary after use (persistent handles stay).
void consume(ConfigRun& run, int handle);
// left followed by right, as a new temporary; consumes left.
int concat(ConfigRun& run, int left, const std::string& right);
// left + a string: consumes both.
int concat_str(ConfigRun& run, int left, int right);
// Byte-wise comparison; false when not executing. Consumes both.
bool compare_str(ConfigRun& run, bool is_equiv, int sub, int left, int right);

int to_str(ConfigRun& run, bool value);
int to_str(ConfigRun& run, std::int32_t value);
int to_str(ConfigRun& run, const Importance* value);
bool str_to_bool(ConfigRun& run, int handle);
std::int32_t str_to_int(ConfigRun& run, int handle);
int read_str(ConfigRun& run, ConfigTargets::StrLhs* lhs);
int getenv_value(ConfigRun& run, int name);

// Assignments and increments; each returns its value as the grammar uses it.
bool* assign(ConfigRun& run, bool* lhs, bool value);
ConfigTargets::IntLhs* assign(ConfigRun& run, ConfigTargets::IntLhs* lhs, std::int32_t value);
ConfigTargets::IntLhs* assign_compound(ConfigRun& run, ConfigTargets::IntLhs* lhs, int sub,
                                       std::int32_t value, const ConfigLexer::Location& right);
ConfigTargets::StrLhs* assign(ConfigRun& run, ConfigTargets::StrLhs* lhs, int handle);
Importance* assign(ConfigRun& run, Importance* lhs, const Importance* value);
ConfigTargets::IntLhs* pre_increment(ConfigRun& run, ConfigTargets::IntLhs* lhs, int delta);
std::int32_t post_increment(ConfigRun& run, ConfigTargets::IntLhs* lhs, int delta);

// The statements. channel 0 is the output channel, 1 the error channel.
void echo(ConfigRun& run, int handle);
void print(ConfigRun& run, int channel, int handle);
void warn(ConfigRun& run, int handle);
void die(ConfigRun& run, int handle);
void run_system(ConfigRun& run, int handle);

// What system(...) does in this process: Run, the library's behaviour, or
// Show, which runs nothing and writes "vantrel-config: not run: <command>"
// to standard error (vantrel-config without --run-system). Set by a tool's
// main before any run; read with relaxed atomics.
enum class SystemMode { Run, Show };
void set_system_mode(SystemMode mode);

}  // namespace ConfigEval
}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIG_CONFIGEVAL_H

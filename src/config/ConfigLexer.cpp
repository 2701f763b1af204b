// The configuration language's scanner: tokens, the keyword and predefined
// name tables, positions and errors.
#include "config/ConfigLexer.h"

#include <istream>
#include <iterator>
#include <ostream>
#include <type_traits>

#include "ConfigParser.hpp"
#include "ImportanceConstants.h"
#include "ZelTools/Portable.h"
#include "config/ConfigRun.h"

namespace Vantrel {

namespace {

using Token = ConfigParser::token;

// ASCII classes, independent of the locale.
bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_word(int c) { return is_alpha(c) || is_digit(c) || c == '_'; }
bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

#ifdef NDEBUG
constexpr bool debug_build = false;
#else
constexpr bool debug_build = true;
#endif
#ifdef __linux__
constexpr bool linux_build = true;
const char* const os_kind = "linux";
#else
constexpr bool linux_build = false;
const char* const os_kind = "unix";
#endif

// The predefined names, numbered in the order of the tables below: each
// group's first number follows from the sizes of the groups before it.

// The settable bools, in the order of predefined's choice.
const char* const bool_lhs_names[] = {"active", "keep"};

struct BoolName {
  const char* word;
  bool value;
};
// Fixed truths and the facts of this build.
const BoolName bool_names[] = {
    {"false", false}, {"true", true},         {"debug", debug_build}, {"release", !debug_build},
    {"win32", false}, {"unix", true},         {"solaris", false},     {"aix", false},
    {"hpux", false},  {"linux", linux_build}, {"cxx", true},          {"java", false},
};

// The settable ints, in the order of int_lhs in predefined.
const char* const int_lhs_names[] = {"size",
                                     "display_mask",
                                     "major_steps_display_width",
                                     "minor_steps_display_width",
                                     "workflow_names_display_width",
                                     "workflow_ids_display_width",
                                     "actors_display_width"};

struct MaskName {
  const char* word;
  unsigned value;
};
// The display-mask bits and groups.
const MaskName mask_names[] = {
    {"src_file_mask", src_file_mask},
    {"src_line_mask", src_line_mask},
    {"time_mask", time_mask},
    {"rank_mask", rank_mask},
    {"importance_mask", importance_mask},
    {"severity_mask", severity_mask},
    {"exc_mask", exc_mask},
    {"pid_mask", pid_mask},
    {"tid_mask", tid_mask},
    {"scope_mask", scope_mask},
    {"major_tick_mask", major_tick_mask},
    {"minor_tick_mask", minor_tick_mask},
    {"major_depth_mask", major_depth_mask},
    {"minor_depth_mask", minor_depth_mask},
    {"root_name_mask", root_name_mask},
    {"root_id_mask", root_id_mask},
    {"caller_name_mask", caller_name_mask},
    {"caller_id_mask", caller_id_mask},
    {"callee_name_mask", callee_name_mask},
    {"callee_id_mask", callee_id_mask},
    {"user_mask", user_mask},
    {"architect_mask", architect_mask},
    {"developer_mask", developer_mask},
    {"consultant_mask", consultant_mask},
    {"msg_mask", msg_mask},
    {"none_mask", none_mask},
    {"debug_mask", debug_mask},
    {"os_mask", os_mask},
    {"process_mask", process_mask},
    {"diagnostic_mask", diagnostic_mask},
    {"major_steps_mask", major_steps_mask},
    {"minor_steps_mask", minor_steps_mask},
    {"steps_mask", steps_mask},
    {"tick_mask", tick_mask},
    {"depth_mask", depth_mask},
    {"root_mask", root_mask},
    {"caller_mask", caller_mask},
    {"callee_mask", callee_mask},
    {"workflow_mask", workflow_mask},
    {"workflow_names_mask", workflow_names_mask},
    {"workflow_ids_mask", workflow_ids_mask},
    {"actors_mask", actors_mask},
    {"all_mask", all_mask},
};

// The process id, then the settable strings in the order of str_lhs in
// predefined_other.
const char* const pid_name = "pid";
const char* const str_lhs_names[] = {"consultant", "output_file", "error_file", "about"};

// The fixed texts, in the order of text_values in predefined_other.
const char* const text_names[] = {"stdout",   "stderr", "process", "oskind",     "compile_option",
                                  "language", "name",   "log_dir", "config_file"};

// The settable importance, then the five importance levels.
const char* const importance_lhs_name = "importance";
const char* const importance_names[] = {"xs", "s", "m", "l", "xl"};
static_assert(std::size(importance_names) == importance_level_count, "one name per level");

template <class Table>
constexpr int count(const Table& table) {
  return static_cast<int>(std::size(table));
}
constexpr int first_bool_name = count(bool_lhs_names);
constexpr int first_int_lhs = first_bool_name + count(bool_names);
constexpr int first_mask = first_int_lhs + count(int_lhs_names);
constexpr int pid_number = first_mask + count(mask_names);
// Offsets from pid_number, as predefined_other receives them.
constexpr int first_str_lhs = 1;
constexpr int first_text = first_str_lhs + count(str_lhs_names);
constexpr int importance_lhs_offset = first_text + count(text_names);
constexpr int first_importance = importance_lhs_offset + 1;

struct Keyword {
  const char* word;
  int token;
};
const Keyword keyword_table[] = {
    {"if", Token::KW_IF},       {"else", Token::KW_ELSE},     {"echo", Token::KW_ECHO},
    {"print", Token::KW_PRINT}, {"eprint", Token::KW_EPRINT}, {"warn", Token::KW_WARN},
    {"die", Token::KW_DIE},     {"system", Token::KW_SYSTEM}, {"bool", Token::KW_BOOL},
    {"int", Token::KW_INT},     {"string", Token::KW_STRING}, {"getenv", Token::KW_GETENV},
};

}  // namespace

static_assert(std::size(int_lhs_names) == ConfigRun::int_lhs_count, "one object per settable int");
static_assert(std::size(str_lhs_names) == ConfigRun::str_lhs_count,
              "one object per settable string");

ConfigLexer::ConfigLexer(ConfigRun& run, std::istream* in) : run_(run), in_(in) { fill_tables(); }

void ConfigLexer::fill_tables() {
  for (const Keyword& k : keyword_table) keywords_[k.word] = k.token;
  int number = 0;
  for (const char* word : bool_lhs_names) identifiers_[word] = number++;
  for (const BoolName& b : bool_names) identifiers_[b.word] = number++;
  for (const char* word : int_lhs_names) identifiers_[word] = number++;
  for (const MaskName& m : mask_names) identifiers_[m.word] = number++;
  identifiers_[pid_name] = number++;
  for (const char* word : str_lhs_names) identifiers_[word] = number++;
  for (const char* word : text_names) identifiers_[word] = number++;
  identifiers_[importance_lhs_name] = number++;
  for (const char* word : importance_names) identifiers_[word] = number++;
}

// --- reading the input ------------------------------------------------------

// The character `offset` places ahead, or -1 past the end of input. A stream
// that fails, goes bad or throws is the end of input: the run then ends, and
// parse reports a stream left bad as "wrong syntax".
int ConfigLexer::lookahead(std::size_t offset) {
  while (ahead_.size() <= offset && !at_end_) {
    int c = std::char_traits<char>::eof();
    try {
      if (in_) {
        c = in_->get();
        stream_failed_ = in_->bad() || (in_->fail() && !in_->eof());
      }
    } catch (...) {
      c = std::char_traits<char>::eof();
      stream_failed_ = true;
    }
    if (c == std::char_traits<char>::eof())
      at_end_ = true;
    else
      ahead_.push_back(static_cast<char>(c));
  }
  return offset < ahead_.size() ? static_cast<unsigned char>(ahead_[offset]) : -1;
}

void ConfigLexer::consume(std::size_t count) { ahead_.erase(0, count); }

void ConfigLexer::begin_token() {
  location_->first_line = line_;
  location_->first_column = column_;
}

void ConfigLexer::end_token(int length) {
  column_ += length;
  location_->last_line = line_;
  location_->last_column = column_;
}

// Blanks, "#" and "//" comments (up to the newline) and newlines.
void ConfigLexer::skip_blanks_and_comments() {
  for (;;) {
    const int c = lookahead(0);
    if (is_blank(c) || c == '#' || (c == '/' && lookahead(1) == '/')) {
      // A comment runs to the newline, a run of blanks to the first non-blank.
      const bool comment = !is_blank(c);
      std::size_t n = 1;
      while (lookahead(n) != -1 && lookahead(n) != '\n' && (comment || is_blank(lookahead(n)))) ++n;
      consume(n);
      column_ += static_cast<int>(n);
    } else if (c == '\n') {
      consume(1);
      ++line_;
      column_ = 1;
    } else {
      return;
    }
  }
}

// --- tokens -------------------------------------------------------------------

int ConfigLexer::scan() {
  skip_blanks_and_comments();
  begin_token();
  const int c = lookahead(0);
  if (c == -1) {
    end_token(0);
    return 0;
  }
  if (is_alpha(c)) return scan_word();
  if (is_digit(c)) return scan_number();
  if (c == '"') return scan_string();
  if (c == '\'') return scan_importance_or_error();
  return scan_operator();
}

int ConfigLexer::scan_word() {
  std::size_t n = 1;
  while (is_word(lookahead(n))) ++n;
  const std::string word = ahead_.substr(0, n);
  consume(n);
  end_token(static_cast<int>(n));
  const auto keyword = keywords_.find(word);
  if (keyword != keywords_.end()) return keyword->second;
  const auto name = identifiers_.find(word);
  if (name == identifiers_.end()) run_.raise("unexpected keyword '" + word + "'");
  return predefined(name->second);
}

// "0", or 1-9 followed by digits. A literal beyond the int range wraps
// modulo 2^32 (so 2147483648 reads as the most negative int).
int ConfigLexer::scan_number() {
  std::size_t n = 1;
  std::uint32_t value = static_cast<std::uint32_t>(lookahead(0) - '0');
  if (value != 0) {
    for (int d = lookahead(n); is_digit(d); d = lookahead(++n))
      value = value * 10u + static_cast<std::uint32_t>(d - '0');
  }
  consume(n);
  end_token(static_cast<int>(n));
  value_->integer = static_cast<std::int32_t>(value);
  return Token::VAL_INT;
}

// A double-quoted text, taken literally (no escapes, newlines included). The
// whole literal advances the column on the line where it starts.
int ConfigLexer::scan_string() {
  std::size_t n = 1;
  for (int d = lookahead(n); d != '"'; d = lookahead(++n)) {
    if (d == -1) unexpected_token(1);
    run_.check_string_length(n);
  }
  value_->str = run_.add(ahead_.substr(1, n - 1), true);
  consume(n + 1);
  end_token(static_cast<int>(n + 1));
  return Token::VAL_STR;
}

// '<<' '<=' '==' '>=' '>>' with their single quotes; a quote in any other
// place is an unexpected token.
int ConfigLexer::scan_importance_or_error() {
  static const Importance* const values[importance_level_count] = {&XS, &S, &M, &L, &XL};
  if (lookahead(3) == '\'') {
    const std::string inner = ahead_.substr(1, 2);
    for (int i = 0; i < importance_level_count; ++i) {
      if (inner == Importance::level_name(i)) {
        consume(4);
        end_token(4);
        value_->imp = values[i];
        return Token::VAL_IMP;
      }
    }
  }
  unexpected_token(1);
}

int ConfigLexer::scan_operator() {
  int length = 1;
  const int token = operator_token(lookahead(0), lookahead(1), lookahead(2), &length);
  if (token == 0) unexpected_token(1);
  consume(static_cast<std::size_t>(length));
  end_token(length);
  return token;
}

// The operator or punctuation that starts with c (the longest that matches),
// its length through `length` and its sub-operator in the token's value; 0
// when c starts none.
int ConfigLexer::operator_token(int c, int next, int after, int* length) {
  auto sub = [this, length](int token, int value, int len) {
    value_->integer = value;
    *length = len;
    return token;
  };
  switch (c) {
    case '=':
      return next == '=' ? sub(Token::TK_EQUIV, 1, 2) : Token::TK_EQ;
    case '!':
      return next == '=' ? sub(Token::TK_EQUIV, 0, 2) : Token::TK_NOT;
    case '-':
      if (next == '-') return sub(Token::TK_MINUSMINUS, 0, 2);
      return next == '=' ? sub(Token::TK_OPEQ, 0, 2) : Token::TK_MINUS;
    case '+':
      if (next == '+') return sub(Token::TK_PLUSPLUS, 0, 2);
      return next == '=' ? sub(Token::TK_OPEQ, 1, 2) : Token::TK_PLUS;
    case '*':
      return next == '=' ? sub(Token::TK_OPEQ, 2, 2) : sub(Token::TK_MULT, 0, 1);
    case '/':
      return next == '=' ? sub(Token::TK_OPEQ, 3, 2) : sub(Token::TK_MULT, 1, 1);
    case '%':
      return next == '=' ? sub(Token::TK_OPEQ, 4, 2) : sub(Token::TK_MULT, 2, 1);
    case '&':
      if (next == '&') return sub(Token::TK_ANDAND, 0, 2);
      return next == '=' ? sub(Token::TK_OPEQ, 5, 2) : Token::TK_AND;
    case '|':
      if (next == '|') return sub(Token::TK_OROR, 0, 2);
      return next == '=' ? sub(Token::TK_OPEQ, 6, 2) : Token::TK_OR;
    case '^':
      return next == '=' ? sub(Token::TK_OPEQ, 7, 2) : Token::TK_XOR;
    case '<':
      if (next == '<') return after == '=' ? sub(Token::TK_OPEQ, 8, 3) : sub(Token::TK_SHIFT, 0, 2);
      return next == '=' ? sub(Token::TK_ORDER, 1, 2) : sub(Token::TK_ORDER, 0, 1);
    case '>':
      if (next == '>') return after == '=' ? sub(Token::TK_OPEQ, 9, 3) : sub(Token::TK_SHIFT, 1, 2);
      return next == '=' ? sub(Token::TK_ORDER, 2, 2) : sub(Token::TK_ORDER, 3, 1);
    case '?':
      return Token::TK_QUESTION;
    case ':':
      return Token::TK_COLON;
    case '~':
      return Token::TK_COMPL;
    case '(':
      return Token::TK_OPENPAREN;
    case ')':
      return Token::TK_CLOSEPAREN;
    case '{':
      return Token::TK_OPENBRACE;
    case '}':
      return Token::TK_CLOSEBRACE;
    case ';':
      return Token::TK_SEMI;
    case ',':
      return Token::TK_COMMA;
    default:
      return 0;
  }
}

// The token and value of predefined name `number` (its place in the
// identifier table).
int ConfigLexer::predefined(int number) {
  static_assert(count(bool_lhs_names) == 2, "active and keep, below");
  if (number < first_bool_name) {
    value_->bool_lhs = number == 0 ? &run_.config().active : &run_.config().keep;
    return Token::VAL_BOOL_LHS;
  }
  if (number < first_int_lhs) {
    value_->boolean = bool_names[number - first_bool_name].value;
    return Token::VAL_BOOL;
  }
  if (number < first_mask) {
    value_->int_lhs = run_.int_lhs(static_cast<std::size_t>(number - first_int_lhs));
    return Token::VAL_INT_LHS;
  }
  if (number < pid_number) {
    value_->integer = static_cast<std::int32_t>(mask_names[number - first_mask].value);
    return Token::VAL_INT;
  }
  return predefined_other(number - pid_number);
}

int ConfigLexer::predefined_other(int index) {
  static const Importance* const imps[] = {&XS, &S, &M, &L, &XL};
  static_assert(std::extent<decltype(imps)>::value == std::size(importance_names),
                "one value per level name");
  if (index == 0) {
    value_->integer = ZelTools::Portable::Process().id();
    return Token::VAL_INT;
  }
  if (index < first_text) {
    value_->str_lhs = run_.str_lhs(static_cast<std::size_t>(index - first_str_lhs));
    return Token::VAL_STR_LHS;
  }
  if (index < importance_lhs_offset) {
    const std::string text_values[] = {"-",
                                       "--",
                                       ZelTools::Portable::Process().name(),
                                       os_kind,
                                       debug_build ? "debug" : "release",
                                       "C++",
                                       run_.names().name,
                                       run_.names().log_dir,
                                       run_.names().config_file};
    static_assert(std::extent<decltype(text_values)>::value == std::size(text_names),
                  "one value per text name");
    value_->str = run_.add(text_values[index - first_text], true);
    return Token::VAL_STR;
  }
  if (index == importance_lhs_offset) {
    value_->imp_lhs = &run_.config().importance;
    return Token::VAL_IMP_LHS;
  }
  value_->imp = imps[index - first_importance];
  return Token::VAL_IMP;
}

// --- errors -------------------------------------------------------------------

void ConfigLexer::unexpected_token(int length) {
  const std::string text(1, ahead_.empty() ? '\0' : ahead_[0]);
  end_token(length);
  run_.raise("unexpected token '" + text + "'");
}

ConfigLexer::Error ConfigLexer::error_here(const std::string& message) const {
  return Error{stream_failed_ ? std::string("wrong syntax") : message, position(), position()};
}

ConfigLexer::Error ConfigLexer::error_at(const std::string& message, const Location& where) const {
  if (stream_failed_) return error_here(message);
  return Error{message, Position{where.first_line, where.first_column},
               Position{where.last_line, where.last_column}};
}

std::ostream& operator<<(std::ostream& out, const ConfigLexer::Error& error) {
  const auto print = [&out](const ConfigLexer::Position& p) {
    out << "line " << p.line << '.' << p.column;
  };
  out << "error: " << error.message << ": ";
  const bool span = error.begin.line < error.end.line ||
                    (error.begin.line == error.end.line && error.begin.column < error.end.column);
  if (span) {
    out << "between ";
    print(error.begin);
    out << " and ";
    print(error.end);
  } else {
    out << "at ";
    print(error.begin);
  }
  return out;
}

}  // namespace Vantrel

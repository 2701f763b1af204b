#include "tools/timeline/Record.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <Vantrel.h>

#include "ImportanceConstants.h"

namespace Timeline {

void RecordContext::clear() {
  root.clear();
  caller.clear();
  callee.clear();
  user.clear();
  architect.clear();
  developer.clear();
  consultant.clear();
}

void Record::clear() {
  tag = Tag::Plain;
  time_ms = 0;
  pid = 0;
  tid = 0;
  level = 2;
  severity = ' ';
  exception = false;
  has_rank = false;
  rank = 0;
  text.clear();
  context.clear();
  source.clear();
  line = 0;
}

namespace {
const char* const level_names[] = {"XS", "S", "M", "L", "XL"};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long days_from_civil(long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<long>(day_of_era) - 719468;
}

// Reads one unsigned decimal integer field ending at `end`.
bool read_count(const char* begin, const char* end, double& value) {
  if (begin == end) return false;
  value = 0;
  for (const char* p = begin; p != end; ++p) {
    if (!is_digit(*p)) return false;
    value = value * 10 + (*p - '0');
  }
  return true;
}

// "D.DDD" with at most 15 digits in all: the digits as an integer divided by
// a power of ten, both exact doubles, so that the one rounding of the
// division gives what strtod gives, without its locale and copy.
bool read_plain_decimal(const char* begin, const char* end, double& value) {
  static const double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::int64_t digits_value = 0;
  int digit_count = 0;
  int fraction_digits = 0;
  bool point = false;
  for (const char* p = begin; p != end; ++p) {
    if (*p == '.' && !point) {
      point = true;
      continue;
    }
    if (!is_digit(*p) || ++digit_count > 15) return false;
    digits_value = digits_value * 10 + (*p - '0');
    fraction_digits += point;
  }
  if (digit_count == 0) return false;
  value = static_cast<double>(digits_value) / powers[fraction_digits];
  return true;
}

// The seconds of a duration: the plain form fast, anything else (many
// digits, an exponent) as strtod reads it in the C locale.
bool read_seconds(const char* begin, const char* end, double& seconds) {
  if (read_plain_decimal(begin, end, seconds)) return true;
  std::string text(begin, end);
  char* parsed_end = nullptr;
  seconds = std::strtod(text.c_str(), &parsed_end);
  return parsed_end == text.c_str() + text.size();
}
}  // namespace

int level_from_mark(const char* mark, std::size_t length) {
  if (length != 2) return -1;
  for (int i = 0; i < Vantrel::importance_level_count; ++i) {
    const char* level_mark = Vantrel::Importance::level_name(i);
    if (mark[0] == level_mark[0] && mark[1] == level_mark[1]) return i;
  }
  return -1;
}

const char* level_name(int level) {
  return level >= 0 && level < Vantrel::importance_level_count ? level_names[level] : "?";
}

bool parse_duration(const char* begin, const char* end, double& ms) {
  bool negative = begin != end && *begin == '-';
  if (negative) ++begin;
  double days = 0;
  for (const char* p = begin; p + 1 < end; ++p)
    if (p[0] == ':' && p[1] == ':') {
      if (!read_count(begin, p, days)) return false;
      begin = p + 2;
      break;
    }
  // Up to two "N:" fields before the seconds: hours and minutes, or minutes.
  double fields[2] = {0, 0};
  int count = 0;
  for (const char* colon; (colon = static_cast<const char*>(std::memchr(
                               begin, ':', static_cast<std::size_t>(end - begin)))) != nullptr;) {
    if (count == 2 || !read_count(begin, colon, fields[count])) return false;
    ++count;
    begin = colon + 1;
  }
  if (begin == end || !(is_digit(*begin) || *begin == '.')) return false;
  double seconds = 0;
  if (!read_seconds(begin, end, seconds)) return false;
  double hours = count == 2 ? fields[0] : 0;
  double minutes = count == 2 ? fields[1] : (count == 1 ? fields[0] : 0);
  ms = (((days * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000.0;
  if (negative) ms = -ms;
  return true;
}

bool split_closing(const std::string& text, std::string& label, double& elapsed_ms) {
  std::size_t colon = text.rfind(": ");
  if (colon == std::string::npos) return false;
  const char* elapsed = text.data() + colon + 2;
  if (!parse_duration(elapsed, text.data() + text.size(), elapsed_ms)) return false;
  label.assign(text, 0, colon);
  return true;
}

std::size_t utf8_sequence_length(const unsigned char* at, const unsigned char* end) {
  unsigned char c = at[0];
  std::size_t length = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
  if (length == 0 || static_cast<std::size_t>(end - at) < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((at[i] & 0xC0) != 0x80) return 0;
  if (c == 0xE0 && at[1] < 0xA0) return 0;  // overlong
  if (c == 0xED && at[1] > 0x9F) return 0;  // surrogate
  if (c == 0xF0 && at[1] < 0x90) return 0;  // overlong
  if (c == 0xF4 && at[1] > 0x8F) return 0;  // beyond U+10FFFF
  return length;
}

bool is_crash_record(const Record& record) {
  return record.tag == Tag::Plain && record.severity == 'A' &&
         record.text.rfind("Crash: SIG", 0) == 0;
}

namespace {
const char time_pattern[] = "dddd/dd/dd dd:dd:dd.ddd";

bool matches_time_pattern(const char* t, int from) {
  for (int i = from; i < 23; ++i) {
    if (time_pattern[i] == 'd' ? !is_digit(t[i]) : t[i] != time_pattern[i]) return false;
  }
  return true;
}

// ":MM:SS.mmm" after a known "YYYY/MM/DD HH".
bool looks_like_minutes(const char* t) { return matches_time_pattern(t, 13); }
}  // namespace

bool looks_like_time(const char* t) { return matches_time_pattern(t, 0); }

bool TimeParser::parse(const char* t, double& ms) {
  // Within the cached hour only the minutes, seconds and milliseconds are
  // left to check: the first 13 characters equal text already checked.
  const bool same_hour =
      cached_base_ >= 0 && std::memcmp(cached_hour_, t, sizeof cached_hour_) == 0;
  if (same_hour ? !looks_like_minutes(t) : !looks_like_time(t)) return false;
  if (!same_hour) {
    long days = days_from_civil(digits(t, 4), static_cast<unsigned>(digits(t + 5, 2)),
                                static_cast<unsigned>(digits(t + 8, 2)));
    cached_base_ = (static_cast<double>(days) * 24 + digits(t + 11, 2)) * 3600000.0;
    std::memcpy(cached_hour_, t, sizeof cached_hour_);
  }
  ms = cached_base_ + digits(t + 14, 2) * 60000.0 + digits(t + 17, 2) * 1000.0 + digits(t + 20, 3);
  return true;
}

}  // namespace Timeline

#include "LogFileLog.h"

#include <ZelTools/Portable.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>

#include "RecordTime.h"
#include "zeltools/native/ThreadId.h"
#include "zeltools/portable/ShortText.h"

namespace Vantrel {

namespace {

constexpr const char* nested_lost_line = "### Vantrel: Incorrect usage: NestedTrace Lost ###";

// Where a record's own pieces go: straight into the log file's buffer when the
// target has one, else through the target's stream buffer; never through
// formatted insertions, whose sentry, locale and width bookkeeping a head of
// some twenty short pieces would pay each time. A stream already failed
// takes nothing; a piece the buffer refuses fails it (badbit), as an
// insertion would.
class HeadOut {
 public:
  HeadOut(std::ostream& stream, LogFileBuffer* file)
      : stream_(stream), file_(file), good_(stream.good()) {}
  std::ostream& stream() const { return stream_; }

  void put(const char* text, std::size_t length) {
    if (length == 0 || !good_) return;
    const auto count = static_cast<std::streamsize>(length);
    const bool whole = file_ != nullptr ? file_->append(text, length)
                                        : stream_.rdbuf()->sputn(text, count) == count;
    if (!whole) fail();
  }
  void put(char c) { put(&c, 1); }

 private:
  void fail() {
    stream_.setstate(std::ios_base::badbit);
    good_ = false;
  }

  std::ostream& stream_;
  LogFileBuffer* file_;  // the target's buffer when it is a log file's, else null
  bool good_;            // the stream's state, read once: only fail() changes it meanwhile
};

void put_bar(HeadOut& out) { out.put('|'); }
void put_text(HeadOut& out, const char* text, std::size_t length) { out.put(text, length); }

// `length` characters of `text` right-aligned in a field of `width`,
// padded with blanks: what a formatted insertion writes with the record's
// format state (fill ' ', no adjustment flags), without its sentry, locale
// and width bookkeeping.
void put_padded(HeadOut& out, const char* text, std::size_t length, std::int32_t width) {
  static constexpr char blanks[] = "                                ";
  constexpr std::size_t blank_count = sizeof blanks - 1;
  std::size_t fill = width > 0 && static_cast<std::size_t>(width) > length
                         ? static_cast<std::size_t>(width) - length
                         : 0;
  for (; fill > 0; fill -= std::min(fill, blank_count)) {
    put_text(out, blanks, std::min(fill, blank_count));
  }
  put_text(out, text, length);
}

// The decimal text of a number, written backwards ending at `end`; returns
// where it starts. 21 characters hold any 64-bit value and its sign.
char* decimal_text(char* end, std::uint64_t magnitude, bool negative) {
  char* first = ZelTools::Portable::decimal_digits(magnitude, end);
  if (negative) *--first = '-';
  return first;
}

void put_padded_number(HeadOut& out, std::uint64_t magnitude, bool negative, std::int32_t width) {
  char text[24];
  char* const end = text + sizeof text;
  const char* first = decimal_text(end, magnitude, negative);
  put_padded(out, first, static_cast<std::size_t>(end - first), width);
}

void put_padded_number(HeadOut& out, std::int64_t value, std::int32_t width) {
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  put_padded_number(out, magnitude, negative, width);
}

// A width setting is read as a signed 16-bit number; only a positive one pads.
std::int32_t column_width(std::uint16_t setting) { return static_cast<std::int16_t>(setting); }

// One column: its content right-aligned in its width when its bit is on,
// nothing when it is off; a '|' in both cases.
void write_column(HeadOut& out, unsigned mask, unsigned bit, std::uint16_t width,
                  std::string_view content) {
  if (mask & bit) put_padded(out, content.data(), content.size(), column_width(width));
  put_bar(out);
}

void write_column(HeadOut& out, unsigned mask, unsigned bit, std::uint16_t width,
                  std::int32_t content) {
  if (mask & bit) put_padded_number(out, content, column_width(width));
  put_bar(out);
}

// Ticks and depths are unsigned counters shown as signed numbers.
std::int32_t as_signed(std::uint32_t counter) { return static_cast<std::int32_t>(counter); }

// Columns 1 to 13, in order: the bit that shows each one, the width setting
// it uses and its content, a counter shown as a signed number or a text.
struct ContextColumn {
  using Text = const std::string& (*)(const Context::Data&);
  unsigned bit;
  std::uint16_t Config::*width;
  std::uint32_t Context::Data::*counter;  // null for a text column
  Text text;                              // null for a counter column
};
using Data = Context::Data;
constexpr ContextColumn context_columns[] = {
    {major_tick_mask, &Config::major_steps_display_width, &Data::major_tick, nullptr},
    {minor_tick_mask, &Config::minor_steps_display_width, &Data::minor_tick, nullptr},
    {major_depth_mask, &Config::major_steps_display_width, &Data::major_depth, nullptr},
    {minor_depth_mask, &Config::minor_steps_display_width, &Data::minor_depth, nullptr},
    {root_name_mask, &Config::workflow_names_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.root.names.text(); }},
    {root_id_mask, &Config::workflow_ids_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.root.ids.text(); }},
    {caller_name_mask, &Config::workflow_names_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.caller.names.text(); }},
    {caller_id_mask, &Config::workflow_ids_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.caller.ids.text(); }},
    {callee_name_mask, &Config::workflow_names_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.callee.names.text(); }},
    {callee_id_mask, &Config::workflow_ids_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.callee.ids.text(); }},
    {user_mask, &Config::actors_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.user.text(); }},
    {architect_mask, &Config::actors_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.architect.text(); }},
    {developer_mask, &Config::actors_display_width, nullptr,
     [](const Data& d) -> const std::string& { return d.developer.text(); }},
};

// `count` bars in one put.
void put_bars(HeadOut& out, std::size_t count) {
  static constexpr char bars[] = "||||||||||||||";
  put_text(out, bars, count);
}

// Runs of columns that are off are runs of bars, put at once.
void write_blank_context_columns(HeadOut& out, const Config& config, unsigned mask) {
  static_assert(std::size(context_columns) <= 14, "put_bars holds 14 bars");
  unsigned context_bits = 0;
  for (const ContextColumn& column : context_columns) context_bits |= column.bit;
  if ((mask & context_bits) == 0) {
    put_bars(out, std::size(context_columns));
    return;
  }
  std::size_t bars = 0;
  for (const ContextColumn& column : context_columns) {
    if (mask & column.bit) {
      put_bars(out, bars);
      bars = 0;
      put_padded(out, "", 0, column_width(config.*column.width));
    }
    ++bars;
  }
  put_bars(out, bars);
}

void write_filled_context_columns(HeadOut& out, const Config& config, unsigned mask,
                                  const Context::Data& data) {
  for (const ContextColumn& column : context_columns) {
    const std::uint16_t width = config.*column.width;
    if (column.counter != nullptr) {
      write_column(out, mask, column.bit, width, as_signed(data.*column.counter));
    } else {
      write_column(out, mask, column.bit, width, std::string_view(column.text(data)));
    }
  }
}

// Column 14: the settings' consultant name, padded to at most 63 characters
// (a negative width setting, taken as unsigned, also gives 63).
void write_consultant_column(HeadOut& out, const Config& config, unsigned mask) {
  const std::uint16_t width = std::min<std::uint16_t>(config.actors_display_width, 63);
  const std::size_t length = strnlen(config.consultant, Config::consultant_capacity - 1);
  // A view, not a string: a name longer than the small-string buffer would
  // cost a heap allocation per record.
  write_column(out, mask, consultant_mask, width, std::string_view(config.consultant, length));
}

void reset_format_state(std::ostream& out) {
  out.precision(6);
  out.width(0);
  out.fill(' ');
  out.flags(std::ios_base::fmtflags());
}

// "main.cpp:42: this is Vantrel message 1234", before the record's own line.
void write_source_line(std::ostream& out, const Importance& importance, unsigned mask,
                       unsigned rank) {
  if (importance.file == nullptr || (mask & (src_file_mask | src_line_mask)) == 0) return;
  out << importance.file << ':' << importance.line << ':' << " this is Vantrel message " << rank
      << std::endl;
}

// The process and thread ids as a record shows them: " 4242|3520".
struct IdsText {
  long pid = -1;
  unsigned long tid = 0;
  char text[48];
  std::size_t length = 0;
};

// What a thread's records repeat, kept per thread (so it needs no lock) and
// looked up once per record.
struct ThreadTexts {
  RecordTimeText time;
  IdsText ids;
};

// Initial-exec: the library's few thread-local bytes sit in the static block,
// reached at a fixed offset instead of through __tls_get_addr (about 60
// instructions a record).
ThreadTexts& thread_texts() {
  static thread_local ThreadTexts texts __attribute__((tls_model("initial-exec")));
  return texts;
}

// The record's time; see RecordTimeText.
void put_record_time(HeadOut& out, SimpleTime::PhysicalTime time, RecordTimeText& cache) {
  std::size_t length = 0;
  if (const char* text = cache.text(time, length)) {
    out.put(text, length);
  } else {
    RecordTimeText::print_whole(out.stream(), time);
  }
}

// Copies `length` characters right-aligned in `width` blanks to `dest`;
// returns the count written. `dest` holds at least max(width, length).
std::size_t copy_padded(char* dest, const char* text, std::size_t length, std::size_t width) {
  const std::size_t fill = width > length ? width - length : 0;
  std::memset(dest, ' ', fill);
  std::memcpy(dest + fill, text, length);
  return fill + length;
}

// " 4242|3520": the pid in 5 places, the tid in 4, made again only when
// either differs from the thread's last record (a fork changes the pid).
void put_ids(HeadOut& out, long pid, unsigned long tid, IdsText& cache) {
  if (pid != cache.pid || tid != cache.tid || cache.length == 0) {
    char digits[24];
    char* const end = digits + sizeof digits;
    const char* first =
        decimal_text(end, pid < 0 ? 0 - static_cast<std::uint64_t>(pid) : pid, pid < 0);
    std::size_t length = copy_padded(cache.text, first, static_cast<std::size_t>(end - first), 5);
    cache.text[length++] = '|';
    first = decimal_text(end, tid, false);
    length += copy_padded(cache.text + length, first, static_cast<std::size_t>(end - first), 4);
    cache.pid = pid;
    cache.tid = tid;
    cache.length = length;
  }
  out.put(cache.text, cache.length);
}

// The time, then with rank_mask the rank's last two digits as three:
// "2007/10/18 21:21:07.045034" for rank 1234.
void write_time_and_rank(HeadOut& out, const TextRecordHead& head, unsigned mask,
                         RecordTimeText& cache) {
  put_record_time(out, head.time, cache);
  if (mask & rank_mask) {
    const unsigned last_two = head.rank % 100;
    const char digits[3] = {'0', static_cast<char>('0' + last_two / 10),
                            static_cast<char>('0' + last_two % 10)};
    out.put(digits, sizeof digits);
  }
}

char tag_mark(int tag) {
  if (tag == Logger::Open) return '{';
  if (tag == Logger::Close) return '}';
  return ' ';
}

// "|==| | | 4242|3520| |": level, severity, exception, pid, tid, tag mark.
void write_fixed_head(HeadOut& out, const TextRecordHead& head, IdsText& ids) {
  const Importance& importance = *head.inputs.importance;
  put_bar(out);
  const char* level = importance.level_name();
  put_text(out, level, std::strlen(level));
  put_bar(out);
  const char* severity = importance.severity_name();
  put_text(out, severity, std::strlen(severity));
  const char exception[] = {'|', head.unwinding ? 'X' : ' ', '|'};
  out.put(exception, sizeof exception);
  put_ids(out, head.pid, head.tid, ids);
  const char tag[] = {'|', tag_mark(head.inputs.tag), '|'};
  out.put(tag, sizeof tag);
}

void put_context_columns(HeadOut& out, const Config& config, unsigned mask, Context::Data* data,
                         int tag) {
  if (data == nullptr) {
    write_blank_context_columns(out, config, mask);
    return;
  }
  // The thread's own record, touched by the writing thread only: an opening
  // message counts before its columns, a closing one after them, so both
  // show the same minor depth.
  if (tag == Logger::Open) {
    data->minor_tick += 1;
    data->minor_depth += 1;
  }
  write_filled_context_columns(out, config, mask, *data);
  if (tag == Logger::Close) {
    data->minor_depth -= 1;
    data->minor_tick += 1;
  }
}

}  // namespace

void write_text_record_head(std::ostream& out, const TextRecordHead& head, LogFileBuffer* file) {
  const Config& config = *head.inputs.config;
  const unsigned mask = config.effective_mask();
  reset_format_state(out);
  write_source_line(out, *head.inputs.importance, mask, head.rank);
  HeadOut head_out(out, file);
  ThreadTexts& texts = thread_texts();
  write_time_and_rank(head_out, head, mask, texts.time);
  write_fixed_head(head_out, head, texts.ids);
  put_context_columns(head_out, config, mask, head.inputs.data, head.inputs.tag);
  write_consultant_column(head_out, config, mask);
}

void write_text_record_end(std::ostream& out, bool nested_lost, LogFileBuffer* file) {
  HeadOut end_out(out, file);
  end_out.put('\n');
  if (nested_lost) {
    end_out.put(nested_lost_line, std::strlen(nested_lost_line));
    end_out.put('\n');
  }
  // The flush, as ostream::flush does it, without its sentry.
  if (out.rdbuf() != nullptr && out.rdbuf()->pubsync() == -1) out.setstate(std::ios_base::badbit);
}

LogFileLog::LogFileLog(const DeviceInfo& info_) : LogFileExt<LogOfstream>(info_) {}

std::ostream* LogFileLog::do_header_record() {
  TextRecordHead head;
  head.time = SimpleTime::clock().now();
  head.rank = rank;
  head.pid = ZelTools::Portable::Process().id();
  head.tid = ZelTools::Native::current_thread_id();
  head.unwinding = std::uncaught_exceptions() > 0;
  head.inputs = record;
  std::ostream& out = stream->target();
  write_text_record_head(out, head, stream->file_buffer());
  return &out;
}

void LogFileLog::do_footer_record() {
  // No stream: the record began before a fork() in the parent's file, and
  // the child's fresh log file has nothing to end it in.
  if (!stream) return;
  write_text_record_end(stream->target(), nested_lost_flag, stream->file_buffer());
}

}  // namespace Vantrel

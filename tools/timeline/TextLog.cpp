// The text log reader. A record is one line:
//   2007/10/18 21:21:07.045034|>=|W| | 4242|3520|{||  5||  2|||order/check||||  ann||||start
//   time[rank]|level|severity|exception|pid|tid|tag|14 columns|message
// Lines without such a head are a source line ("main.cpp:42: this is
// Vantrel message 1234", remembered for the next record), the nested-trace
// mark, or the continuation of a multi-line message.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/timeline/LogReader.h"

namespace Timeline {
namespace {

constexpr std::size_t block_size = 1 << 20;
constexpr int column_count = 14;
constexpr std::int64_t max_id = (std::int64_t{1} << 31) - 1;

struct Cursor {
  const char* at;
  const char* end;

  // The text up to the next '|', or false when there is none. A plain loop:
  // head fields are a few bytes, shorter than a memchr call costs.
  bool field(const char*& begin, const char*& field_end) {
    const char* bar = at;
    while (bar != end && *bar != '|') ++bar;
    if (bar == end) return false;
    begin = at;
    field_end = bar;
    at = bar + 1;
    return true;
  }
};

void trim(const char*& begin, const char*& end) {
  while (begin != end && *begin == ' ') ++begin;
  while (end != begin && end[-1] == ' ') --end;
}

// At most 18 digits, so that the value cannot overflow.
bool parse_integer(const char* begin, const char* end, std::int64_t& value) {
  trim(begin, end);
  bool negative = begin != end && *begin == '-';
  if (negative) ++begin;
  if (begin == end || end - begin > 18) return false;
  std::int64_t result = 0;
  for (; begin != end; ++begin) {
    if (*begin < '0' || *begin > '9') return false;
    result = result * 10 + (*begin - '0');
  }
  value = negative ? -result : result;
  return true;
}

// One column of the record head, trimmed, as a view into the read block:
// most columns are empty, and copying each into a string of its own cost a
// fifth of the reading time.
struct Column {
  const char* begin;
  const char* end;

  bool empty() const { return begin == end; }
};

// "name#id"; the name alone when the display mask hides the id column, so
// that a step never shows as "job#". `target` is empty (the record was
// cleared) and keeps its capacity from record to record.
void set_step(std::string& target, Column names, Column ids) {
  if (names.empty() && ids.empty()) return;
  target.assign(names.begin, names.end);
  if (ids.empty()) return;
  target += '#';
  target.append(ids.begin, ids.end);
}

void set_actor(std::string& target, Column actor) {
  if (!actor.empty()) target.assign(actor.begin, actor.end);
}

// Columns 5 to 14 (names, ids and actors); the counters are not needed.
void read_columns(const Column (&columns)[column_count], RecordContext& context) {
  set_step(context.root, columns[4], columns[5]);
  set_step(context.caller, columns[6], columns[7]);
  set_step(context.callee, columns[8], columns[9]);
  set_actor(context.user, columns[10]);
  set_actor(context.architect, columns[11]);
  set_actor(context.developer, columns[12]);
  set_actor(context.consultant, columns[13]);
}

class TextReader {
 public:
  TextReader(std::FILE* file, const std::string& path, RecordSink& sink, Diagnostics& diagnostics)
      : file_(file), path_(path), sink_(sink), diagnostics_(diagnostics) {}

  void run();

 private:
  void line(const char* begin, const char* end, bool complete);
  bool parse_record(const char* begin, const char* end);
  bool parse_head(Cursor& cursor);
  bool parse_id(const char* begin, const char* end, std::int64_t& id);
  void other_line(const char* begin, const char* end);
  void announce_process(std::int64_t pid);

  std::FILE* file_;
  const std::string& path_;
  RecordSink& sink_;
  Diagnostics& diagnostics_;
  TimeParser times_;
  Record record_;
  Column columns_[column_count];  // views into the current line
  std::string pending_source_;
  std::vector<std::int64_t> pids_;  // processes announced for this file
  std::size_t line_number_ = 0;
  const char* bad_record_ = nullptr;  // why the line's record head was refused
};

void TextReader::run() {
  std::FILE* file = file_;
  std::vector<char> buffer(block_size);
  std::size_t kept = 0;  // bytes of an unfinished line at the buffer's start
  for (;;) {
    if (kept == buffer.size()) buffer.resize(buffer.size() * 2);
    std::size_t n = std::fread(buffer.data() + kept, 1, buffer.size() - kept, file);
    if (n == 0) break;
    const char* begin = buffer.data();
    const char* end = begin + kept + n;
    for (const char* newline; (newline = static_cast<const char*>(std::memchr(
                                   begin, '\n', static_cast<std::size_t>(end - begin))));) {
      line(begin, newline, true);
      begin = newline + 1;
    }
    kept = static_cast<std::size_t>(end - begin);
    std::memmove(buffer.data(), begin, kept);
  }
  if (kept > 0) line(buffer.data(), buffer.data() + kept, false);
}

void TextReader::line(const char* begin, const char* end, bool complete) {
  ++line_number_;
  if (end != begin && end[-1] == '\r') --end;
  bad_record_ = nullptr;
  if (parse_record(begin, end)) {
    if (!complete)
      diagnostics_.report(path_, line_number_, "the file ends inside this record (cut off?)");
    record_.line = line_number_;
    announce_process(record_.pid);
    sink_.record(record_);
    return;
  }
  if (bad_record_) {
    diagnostics_.report(path_, line_number_, std::string(bad_record_) + "; record skipped");
    return;
  }
  if (!complete && end != begin) {
    diagnostics_.report(path_, line_number_, "the file ends with an incomplete record (cut off?)");
    return;
  }
  other_line(begin, end);
}

bool TextReader::parse_record(const char* begin, const char* end) {
  if (end - begin < 24) return false;
  record_.clear();
  if (!times_.parse(begin, record_.time_ms)) return false;
  Cursor cursor{begin + 23, end};
  const char* rank_begin;
  const char* rank_end;
  if (!cursor.field(rank_begin, rank_end)) return false;
  std::int64_t rank = 0;
  if (rank_begin != rank_end) {
    if (!parse_integer(rank_begin, rank_end, rank)) return false;
    record_.has_rank = true;
    record_.rank = static_cast<std::uint64_t>(rank);
  }
  if (!parse_head(cursor)) return false;
  for (Column& column : columns_) {
    if (!cursor.field(column.begin, column.end)) return false;
    trim(column.begin, column.end);
  }
  read_columns(columns_, record_.context);
  record_.text.assign(cursor.at, cursor.end);
  if (!pending_source_.empty()) {
    record_.source.swap(pending_source_);
    pending_source_.clear();
  }
  return true;
}

// level|severity|exception|pid|tid|tag|
bool TextReader::parse_head(Cursor& cursor) {
  const char* b[6];
  const char* e[6];
  for (int i = 0; i < 6; ++i)
    if (!cursor.field(b[i], e[i])) return false;
  record_.level = level_from_mark(b[0], static_cast<std::size_t>(e[0] - b[0]));
  if (record_.level < 0 || e[1] - b[1] != 1 || e[2] - b[2] != 1 || e[5] - b[5] != 1) return false;
  record_.severity = *b[1];
  record_.exception = *b[2] == 'X';
  std::int64_t tid = 0;
  if (!parse_id(b[3], e[3], record_.pid) || !parse_id(b[4], e[4], tid)) return false;
  record_.tid = static_cast<std::uint64_t>(tid);
  record_.tag = *b[5] == '{' ? Tag::Open : (*b[5] == '}' ? Tag::Close : Tag::Plain);
  return true;
}

// A process or thread id: digits below 2^31, as the kernel gives them.
// Anything else in a record head that is otherwise well formed is a bad
// record, said so, rather than a line of message text.
bool TextReader::parse_id(const char* begin, const char* end, std::int64_t& id) {
  trim(begin, end);
  if (begin != end && end - begin <= 10 &&
      std::all_of(begin, end, [](char c) { return c >= '0' && c <= '9'; })) {
    id = 0;
    for (const char* p = begin; p != end; ++p) id = id * 10 + (*p - '0');
    if (id <= max_id) return true;
  }
  bad_record_ = "process or thread id not a number below 2^31";
  return false;
}

void TextReader::other_line(const char* begin, const char* end) {
  static const char nested_mark[] = "### Vantrel:";
  static const char source_mark[] = ": this is Vantrel message ";
  std::string text(begin, end);
  if (text.compare(0, sizeof nested_mark - 1, nested_mark) == 0) return;
  std::size_t source_at = text.find(source_mark);
  if (source_at != std::string::npos) {
    pending_source_ = text.substr(0, source_at);
    return;
  }
  std::size_t first = text.find_first_not_of(" \t");
  if (first != std::string::npos && text[first] == '<')
    diagnostics_.report(path_, line_number_,
                        "XML markup in a text log (a record of another format)");
  // Anything else continues the message of the record before it.
}

void TextReader::announce_process(std::int64_t pid) {
  if (std::find(pids_.begin(), pids_.end(), pid) != pids_.end()) return;
  pids_.push_back(pid);
  std::string name = process_from_file_name(path_, pid);
  if (!name.empty()) sink_.process_name(pid, name);
}

}  // namespace

void read_text_log(std::FILE* file, const std::string& name, RecordSink& sink,
                   Diagnostics& diagnostics) {
  TextReader(file, name, sink, diagnostics).run();
}

std::string process_from_file_name(const std::string& path, std::int64_t pid) {
  std::string name = path.substr(path.rfind('/') + 1);
  std::string mark = "_" + std::to_string(pid) + "_";
  std::size_t at = name.find(mark);
  return at == std::string::npos || at == 0 ? std::string() : name.substr(0, at);
}

}  // namespace Timeline

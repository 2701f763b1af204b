// OTLP/JSON: the ExportTraceServiceRequest an OTLP/HTTP receiver takes at
// /v1/traces. Field names in lowerCamelCase, trace and span ids in hex,
// times as decimal strings of nanoseconds since 1970, enums as integers:
//   {"resourceSpans":[{"resource":{"attributes":[...]},"scopeSpans":[{
//     "scope":{"name":"vantrel-timeline"},"spans":[{"traceId":"5b8e...",
//     "spanId":"0f3a...","parentSpanId":"...","name":"check#c","kind":1,
//     "startTimeUnixNano":"1765015275056000000","endTimeUnixNano":"...",
//     "attributes":[...],"events":[...],"status":{"code":2}}]}]}]}
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>

#include "tools/timeline/Outputs.h"

namespace Timeline {

// A growable run of bytes that, unlike std::string, leaves the room it
// makes unfilled: a span's room is made before it is written.
class Text {
 public:
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Room for `more` bytes past the end, which end_at() then ends inside.
  char* make_room(std::size_t more) {
    if (capacity_ - size_ < more) {
      std::size_t capacity = std::max(2 * capacity_, size_ + more);
      std::unique_ptr<char[]> grown(new char[capacity]);
      if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
      data_ = std::move(grown);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void end_at(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
  void clear() { size_ = 0; }
  void release() {
    data_.reset();
    size_ = capacity_ = 0;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0, capacity_ = 0;
};

struct OtlpOutput::Event {
  double time_ms;
  std::string text;
  int level;
};

namespace {

// What a CallScope's marks hold here: the span's id, the offset of its
// kind digit and that of the blanks left for its parent (0: none).
enum Mark { span, kind_at, parent_at };

std::uint64_t mix(std::uint64_t x) {  // splitmix64's finaliser: a bijection
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Two FNV-1a hashes of the same bytes from two seeds, each mixed at the end:
// a trace id's two halves.
class TraceHash {
 public:
  TraceHash(std::uint64_t seed_high, std::uint64_t seed_low)
      : high_(fnv_basis ^ seed_high), low_(fnv_basis ^ seed_low) {}
  void add(const char* text, std::size_t size) {
    high_ = fnv1a(high_, text, size);
    low_ = fnv1a(low_, text, size);
  }
  void add(std::int64_t number) {
    char digits[24];
    add(digits, static_cast<std::size_t>(std::to_chars(digits, digits + 24, number).ptr - digits));
  }
  OtlpOutput::Trace trace() const { return OtlpOutput::Trace{mix(high_), mix(low_)}; }

 private:
  std::uint64_t high_, low_;
};

// A span id: the scope's number mixed, so ids look random but stay unique.
std::uint64_t span_id(std::uint64_t number) {
  std::uint64_t id = mix(number);
  return id == 0 ? 1 : id;  // zero is "no span"
}

// `value` as 16 lower-case hex digits at `at`; returns their end.
char* write_hex(char* at, std::uint64_t value) {
  static const char digits[] = "0123456789abcdef";
  for (int i = 15; i >= 0; --i, value >>= 4) at[i] = digits[value & 0xF];
  return at + 16;
}

// An attribute's text up to its value, `{"key":"KEY","value":{"TYPE":`, as
// one literal.
#define OTLP_ATTRIBUTE(key, type) "{\"key\":\"" key "\",\"value\":{\"" type "\":"

// Room made at the end of a text for at most `most` bytes, written piece by
// piece; the text ends where the writing stopped. Spans are most of the
// output, and copying their many small pieces with memcpy of known sizes
// costs a fraction of an append per piece.
class Room {
 public:
  Room(Text& out, std::size_t most) : out_(out), at_(out.make_room(most)), end_(at_ + most) {}
  ~Room() {
    assert(at_ <= end_ && "a span's text outgrew the room reckoned for it");
    out_.end_at(at_);
  }
  Room(const Room&) = delete;
  Room& operator=(const Room&) = delete;

  template <std::size_t N>
  void put(const char (&text)[N]) {
    std::memcpy(at_, text, N - 1);
    at_ += N - 1;
  }
  void put(char c) { *at_++ = c; }
  void put(const char* text, std::size_t size) {
    std::memcpy(at_, text, size);
    at_ += size;
  }
  void blanks(std::size_t count) {
    std::memset(at_, ' ', count);
    at_ += count;
  }
  std::size_t offset() const { return static_cast<std::size_t>(at_ - out_.data()); }

  void hex(std::uint64_t value) { at_ = write_hex(at_, value); }
  void integer(std::int64_t value) { at_ = std::to_chars(at_, at_ + 20, value).ptr; }
  // A JSON string's inside; at most six bytes per byte of `text`.
  void json_string(const std::string& text) {
    if (is_plain_json(text)) return put(text.data(), text.size());
    std::string escaped;
    append_json_string(escaped, text);
    put(escaped.data(), escaped.size());
  }
  void nanos(double ms);

  // Bytes a text of `size` bytes may take inside a JSON string.
  static std::size_t escaped(std::size_t size) { return 6 * size; }

 private:
  Text& out_;
  char* at_;
  [[maybe_unused]] const char* end_;
};

// Nanoseconds since 1970 as a quoted decimal string, clamped to what OTLP's
// fixed64 holds; whole milliseconds apart from the fraction, so that a
// double's rounding at 10^18 does not show. The last nine digits are
// written in pairs from a table: three times per span, this was among the
// output's largest costs.
void Room::nanos(double ms) {
  static const char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  ms = std::min(std::max(ms, 0.0), 1.8e13);
  const auto whole = static_cast<std::uint64_t>(ms);  // ms >= 0: the floor
  const double fraction = ms - static_cast<double>(whole);
  auto below = static_cast<std::uint32_t>(whole % 1000u * 1000000u);
  if (fraction != 0) below += static_cast<std::uint32_t>(std::llround(fraction * 1e6));
  std::uint64_t seconds = whole / 1000u;
  if (below >= 1000000000u) {  // the fraction rounded up to the next second
    below -= 1000000000u;
    ++seconds;
  }
  *at_++ = '"';
  if (seconds != 0) {
    // Neighbouring records mostly fall in the same second: its digits are
    // kept from the call before.
    thread_local std::uint64_t last_seconds = 0;
    thread_local char last_digits[20];
    thread_local std::size_t last_size = 0;
    if (seconds != last_seconds) {
      last_size = static_cast<std::size_t>(
          std::to_chars(last_digits, last_digits + sizeof last_digits, seconds).ptr - last_digits);
      last_seconds = seconds;
    }
    std::memcpy(at_, last_digits, last_size);
    at_ += last_size;
  }
  char* last = at_ + 9;
  for (char* pair = last; pair - 2 >= at_ + 1; below /= 100) {
    pair -= 2;
    std::memcpy(pair, pairs + 2 * (below % 100), 2);
  }
  *at_ = static_cast<char>('0' + below);
  if (seconds == 0) {  // no leading zeros
    char* first = at_;
    while (first + 1 < last && *first == '0') ++first;
    last = std::copy(first, last, at_);
  }
  *last = '"';
  at_ = last + 1;
}

// The bytes of any one attribute beside its text value: opening, key,
// quotes and braces (61 at most) and a mark of up to three characters.
constexpr std::size_t attribute_most = 64;

template <std::size_t N>
void put_opening(Room& room, bool& first, const char (&opening)[N]) {
  if (!first) room.put(',');
  first = false;
  room.put(opening);
}

template <std::size_t N>
void put_string_attribute(Room& room, bool& first, const char (&opening)[N],
                          const std::string& value) {
  if (value.empty()) return;
  put_opening(room, first, opening);
  room.put('"');
  room.json_string(value);
  room.put("\"}}");
}

// For the importance, a mark of one or two plain characters.
template <std::size_t N>
void put_string_attribute(Room& room, bool& first, const char (&opening)[N], const char* value) {
  put_opening(room, first, opening);
  room.put('"');
  room.put(value, std::strlen(value));
  room.put("\"}}");
}

template <std::size_t N>
void put_int_attribute(Room& room, bool& first, const char (&opening)[N], std::int64_t value) {
  put_opening(room, first, opening);
  room.put('"');
  room.integer(value);
  room.put("\"}}");
}

template <std::size_t N>
void put_bool_attribute(Room& room, bool& first, const char (&opening)[N], bool value) {
  if (!value) return;
  put_opening(room, first, opening);
  room.put("true}}");
}

// Calls `visit(opening, text)` for each of the context's texts, in the
// order of their attributes: one list for what they write and for the room
// they may take. The openings stay literals, copied at known sizes.
template <typename Visit>
void for_each_context_text(const RecordContext& context, Visit visit) {
  visit(OTLP_ATTRIBUTE("vantrel.workflow.root", "stringValue"), context.root);
  visit(OTLP_ATTRIBUTE("vantrel.workflow.caller", "stringValue"), context.caller);
  visit(OTLP_ATTRIBUTE("vantrel.workflow.callee", "stringValue"), context.callee);
  visit(OTLP_ATTRIBUTE("enduser.id", "stringValue"), context.user);
  visit(OTLP_ATTRIBUTE("vantrel.architect", "stringValue"), context.architect);
  visit(OTLP_ATTRIBUTE("vantrel.developer", "stringValue"), context.developer);
  visit(OTLP_ATTRIBUTE("vantrel.consultant", "stringValue"), context.consultant);
}

// The room the importance and the context's attributes may take.
std::size_t context_most(const RecordContext& context) {
  std::size_t most = attribute_most;  // the importance
  for_each_context_text(context, [&most](const auto&, const std::string& text) {
    most += attribute_most + Room::escaped(text.size());
  });
  return most;
}

void put_context(Room& room, bool& first, int level, const RecordContext& context) {
  put_string_attribute(room, first, OTLP_ATTRIBUTE("vantrel.importance", "stringValue"),
                       level_name(level));
  for_each_context_text(context, [&](const auto& opening, const std::string& text) {
    put_string_attribute(room, first, opening, text);
  });
}

void put_events(Room& room, const std::vector<OtlpOutput::Event>& events) {
  room.put(",\"events\":[");
  for (const OtlpOutput::Event& event : events) {
    if (&event != &events.front()) room.put(',');
    room.put("{\"timeUnixNano\":");
    room.nanos(event.time_ms);
    room.put(",\"name\":\"");
    room.json_string(event.text);
    room.put("\",\"attributes\":[");
    bool first = true;
    put_string_attribute(room, first, OTLP_ATTRIBUTE("vantrel.importance", "stringValue"),
                         level_name(event.level));
    room.put("]}");
  }
  room.put(']');
}

}  // namespace

// One process's spans not yet written, and those among them with a workflow
// root, whose offsets count from the buffer's start until it is written.
struct OtlpOutput::Process {
  Text buffer;
  std::vector<CallScope> calls;
};

namespace {

// A process's buffer goes to the file once it holds this much, and every
// buffer once all together hold `all_buffers_limit`.
constexpr std::size_t process_buffer_limit = 1 << 16;
constexpr std::size_t all_buffers_limit = 1 << 24;

// `,"parentSpanId":"` and 16 hex digits and `"`: what a callee's link
// writes over the blanks its span leaves for it.
constexpr char parent_field_opening[] = ",\"parentSpanId\":\"";
constexpr std::size_t parent_field_size = sizeof parent_field_opening - 1 + 16 + 1;

bool can_seek(std::FILE* file) { return ::lseek(::fileno(file), 0, SEEK_CUR) != -1; }

// Appends `from` from its start to the end of `to`.
void copy_file(std::FILE* from, std::FILE* to) {
  std::rewind(from);
  std::vector<char> block(1 << 20);
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), from)) > 0;)
    std::fwrite(block.data(), 1, n, to);
}

}  // namespace

OtlpOutput::OtlpOutput(std::FILE* file) : file_(file), target_(file) {
  if (can_seek(file)) return;
  target_ = std::tmpfile();
  if (target_) return;
  std::fprintf(stderr,
               "vantrel-timeline: no temporary file for the OTLP output (%s): cross calls "
               "between processes are not linked\n",
               std::strerror(errno));
  target_ = file;
  can_link_ = false;
}

OtlpOutput::~OtlpOutput() {
  if (target_ != file_) std::fclose(target_);
}

void OtlpOutput::host_named(std::uint32_t index, const std::string& name) {
  if (hosts_.size() <= index) hosts_.resize(index + 1);
  hosts_[index] = name;
}

// A scope with a workflow root belongs to that root's trace, the same in
// every process; a scope without one to its parent's trace, or to a trace of
// its own.
OtlpOutput::Trace OtlpOutput::trace_of(const Scope& scope, const Trace* parent) {
  const std::string& root = scope.context.root;
  if (!root.empty()) {
    // Neighbouring scopes mostly share their root.
    if (root != last_root_) {
      TraceHash hash(1, 2);
      hash.add(root.data(), root.size());
      last_root_ = root;
      last_root_trace_ = hash.trace();
    }
    return last_root_trace_;
  }
  if (parent) return *parent;
  TraceHash hash(3, 4);  // of "host\npid\nid"
  if (scope.host < hosts_.size()) hash.add(hosts_[scope.host].data(), hosts_[scope.host].size());
  hash.add("\n", 1);
  hash.add(scope.pid);
  hash.add("\n", 1);
  hash.add(static_cast<std::int64_t>(scope.id));
  return hash.trace();
}

void OtlpOutput::process_named(std::uint32_t host, std::int64_t pid, const std::string& name) {
  names_.emplace(ProcessKey(host, pid), name);
}

struct OtlpOutput::OpenScope {
  std::uint64_t id;
  Trace trace;
  std::vector<Event> events;  // its messages so far
  bool closed;                // left in place until the next compaction
};

std::vector<OtlpOutput::OpenScope>::iterator OtlpOutput::find_open(std::uint64_t id) {
  auto at =
      std::lower_bound(open_scopes_.begin(), open_scopes_.end(), id,
                       [](const OpenScope& open, std::uint64_t key) { return open.id < key; });
  return at != open_scopes_.end() && at->id == id && !at->closed ? at : open_scopes_.end();
}

const OtlpOutput::Trace* OtlpOutput::open_trace(std::uint64_t id) {
  auto at = find_open(id);
  return at != open_scopes_.end() ? &at->trace : nullptr;
}

void OtlpOutput::opened(const Scope& scope) {
  const Trace trace = trace_of(scope, scope.parent_id != 0 ? open_trace(scope.parent_id) : nullptr);
  // Closed scopes are removed in one pass once they are half of the vector:
  // erasing each at once would shift the later ones, many with many threads.
  if (closed_scopes_ > 16 && 2 * closed_scopes_ > open_scopes_.size()) {
    open_scopes_.erase(std::remove_if(open_scopes_.begin(), open_scopes_.end(),
                                      [](const OpenScope& open) { return open.closed; }),
                       open_scopes_.end());
    closed_scopes_ = 0;
  }
  open_scopes_.push_back(OpenScope{scope.id, trace, {}, false});  // ids grow: it stays sorted
}

void OtlpOutput::message(const Record& record, std::uint32_t, const Scope* enclosing) {
  // A message outside every scope has no span to belong to.
  if (!enclosing) return;
  auto open = find_open(enclosing->id);
  if (open != open_scopes_.end())
    open->events.push_back(Event{record.time_ms, record.text, record.level});
}

// Its parent is open still (children close first): a parent in another
// trace is not named.
void OtlpOutput::scope(const Scope& scope) {
  const Trace* parent_trace = scope.parent_id != 0 ? open_trace(scope.parent_id) : nullptr;
  auto own = find_open(scope.id);
  Trace trace = own != open_scopes_.end() ? own->trace : trace_of(scope, parent_trace);
  std::vector<Event> events;
  if (own != open_scopes_.end()) {
    events.swap(own->events);
    own->closed = true;
    ++closed_scopes_;
  }
  Process& into = process(scope);
  std::size_t before = into.buffer.size();
  CallScope call = CallScope::of(scope);
  write_span(into.buffer, before > 0, scope, events, trace, parent_trace && *parent_trace == trace,
             call);
  if (call.root != 0) into.calls.push_back(call);
  buffered_ += into.buffer.size() - before;
  if (into.buffer.size() >= process_buffer_limit) write_block(last_process_key_, into);
  if (buffered_ >= all_buffers_limit)
    for (auto& entry : processes_) write_block(entry.first, entry.second);
}

OtlpOutput::Process& OtlpOutput::process(const Scope& scope) {
  const ProcessKey key(scope.host, scope.pid);
  if (!last_process_ || last_process_key_ != key) {
    last_process_ = &processes_[key];
    last_process_key_ = key;
  }
  return *last_process_;
}

void OtlpOutput::write(const char* data, std::size_t size) {
  std::fwrite(data, 1, size, target_);
  written_ += size;
}

// The process's buffered spans as one resource's block, after the blocks
// written before it.
void OtlpOutput::write_block(const ProcessKey& key, Process& process) {
  if (process.buffer.empty()) return;
  auto name = names_.find(key);
  const std::string service = name != names_.end() && !name->second.empty()
                                  ? name->second
                                  : "pid " + std::to_string(key.second);
  const std::string& host = key.first < hosts_.size() ? hosts_[key.first] : std::string();
  Text head;
  {
    Room room(head, 3 * attribute_most + 192 + Room::escaped(service.size() + host.size()));
    if (written_ == 0)
      room.put("{\"resourceSpans\":[");
    else
      room.put(",\n");
    room.put("{\"resource\":{\"attributes\":[");
    bool first = true;
    put_string_attribute(room, first, OTLP_ATTRIBUTE("service.name", "stringValue"), service);
    put_int_attribute(room, first, OTLP_ATTRIBUTE("process.pid", "intValue"), key.second);
    put_string_attribute(room, first, OTLP_ATTRIBUTE("host.name", "stringValue"), host);
    room.put("]},\"scopeSpans\":[{\"scope\":{\"name\":\"vantrel-timeline\"},\"spans\":[\n");
  }
  write(head.data(), head.size());
  for (CallScope& call : process.calls) {
    call.marks[kind_at] += written_;
    if (call.marks[parent_at] != 0) call.marks[parent_at] += written_;
    calls_.add(call);
  }
  write(process.buffer.data(), process.buffer.size());
  write("]}]}", 4);
  buffered_ -= process.buffer.size();
  // The busy process keeps its buffer's memory for the next block; the
  // others give theirs back.
  if (&process == last_process_)
    process.buffer.clear();
  else
    process.buffer.release();
  process.calls.clear();
}

// The room a span may take, its events included: its ids, times and other
// fixed text (under 300 bytes), the events' list and the status (under 100),
// seven attributes beside the context's, and per event under 130 bytes and
// an attribute.
std::size_t OtlpOutput::span_most(const Scope& scope, const std::vector<Event>& events) {
  std::size_t most = 400 + 7 * attribute_most + context_most(scope.context) +
                     Room::escaped(scope.label.size() + scope.closed_as.size());
  for (const Event& event : events) most += 130 + attribute_most + Room::escaped(event.text.size());
  return most;
}

// A span that may turn out to be a callee leaves blanks after its id for
// the caller's span id; JSON allows white space there. Where they and the
// kind digit are goes into `call`'s marks.
void OtlpOutput::write_span(Text& out, bool after_span, const Scope& scope,
                            const std::vector<Event>& events, const Trace& trace, bool parent_named,
                            CallScope& call) {
  Room room(out, span_most(scope, events));
  if (after_span) room.put(",\n");
  room.put("{\"traceId\":\"");
  room.hex(trace.high);
  room.hex(trace.low);
  call.marks[span] = span_id(scope.id);
  room.put("\",\"spanId\":\"");
  room.hex(call.marks[span]);
  room.put('"');
  if (parent_named) {
    room.put(parent_field_opening);
    room.hex(span_id(scope.parent_id));
    room.put('"');
  } else if (call.root != 0 && call.outermost) {  // it may be a callee
    call.marks[parent_at] = room.offset();
    room.blanks(parent_field_size);
  }
  room.put(",\"name\":\"");
  room.json_string(scope.label);
  room.put("\",\"kind\":");
  call.marks[kind_at] = room.offset();
  room.put("1,\"startTimeUnixNano\":");
  room.nanos(scope.start_ms);
  room.put(",\"endTimeUnixNano\":");
  room.nanos(scope.end_ms);
  room.put(",\"attributes\":[");
  bool first = true;  // thread.id is always there, and first
  put_int_attribute(room, first, OTLP_ATTRIBUTE("thread.id", "intValue"),
                    static_cast<std::int64_t>(scope.tid));
  put_context(room, first, scope.level, scope.context);
  if (scope.severity != ' ')
    put_string_attribute(room, first, OTLP_ATTRIBUTE("vantrel.severity", "stringValue"),
                         std::string(1, scope.severity));
  put_string_attribute(room, first, OTLP_ATTRIBUTE("vantrel.closed_as", "stringValue"),
                       scope.closed_as);
  put_bool_attribute(room, first, OTLP_ATTRIBUTE("vantrel.unclosed", "boolValue"), scope.unclosed);
  put_bool_attribute(room, first, OTLP_ATTRIBUTE("vantrel.open_missing", "boolValue"),
                     scope.open_missing);
  put_bool_attribute(room, first, OTLP_ATTRIBUTE("vantrel.exception", "boolValue"),
                     scope.exception);
  put_bool_attribute(room, first, OTLP_ATTRIBUTE("vantrel.ended_by_crash", "boolValue"),
                     scope.ended_by_crash);
  room.put(']');
  if (!events.empty()) put_events(room, events);
  if (scope.exception)
    room.put(",\"status\":{\"code\":2,\"message\":\"left by an exception\"}");
  else if (scope.ended_by_crash)
    room.put(",\"status\":{\"code\":2,\"message\":\"ended by a crash\"}");
  room.put('}');
}

// The cross calls, written over the spans in place: the callee becomes a
// server span with the caller's span as parent, the caller a client span.
// Each is one pwrite(2) at its offset: a seek of the stream would flush
// it and cost a second system call per patch.
void OtlpOutput::link_calls_in_place() {
  if (!can_link_ || std::fflush(target_) != 0) return;
  int error = 0;
  auto patch = [this, &error](std::uint64_t offset, const char* text, std::size_t size) {
    if (error == 0 && ::pwrite(::fileno(target_), text, size, static_cast<off_t>(offset)) !=
                          static_cast<ssize_t>(size))
      error = errno == 0 ? EIO : errno;
  };
  calls_.find([&](const CallScope& callee, const CallScope& caller) {
    patch(callee.marks[kind_at], "2", 1);                      // server
    if (!caller.called) patch(caller.marks[kind_at], "3", 1);  // client, unless a server
    if (callee.marks[parent_at] == 0) return;
    char parent[parent_field_size];
    char* const hex =
        std::copy(std::begin(parent_field_opening), std::end(parent_field_opening) - 1, parent);
    *write_hex(hex, caller.marks[span]) = '"';
    patch(callee.marks[parent_at], parent, sizeof parent);
  });
  if (error != 0)
    std::fprintf(stderr, "vantrel-timeline: the OTLP output's cross-call links: %s\n",
                 std::strerror(error));
}

void OtlpOutput::finish(const std::vector<Lane>&, const RunFacts&) {
  for (auto& process : processes_) write_block(process.first, process.second);
  const std::string end = written_ == 0 ? "{\"resourceSpans\":[]}\n" : "]}\n";
  write(end.data(), end.size());
  link_calls_in_place();
  if (target_ != file_) copy_file(target_, file_);
}

}  // namespace Timeline

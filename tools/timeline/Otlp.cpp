// OTLP/JSON: the ExportTraceServiceRequest an OTLP/HTTP receiver takes at
// /v1/traces. Field names in lowerCamelCase, trace and span ids in hex,
// times as decimal strings of nanoseconds since 1970, enums as integers:
//   {"resourceSpans":[{"resource":{"attributes":[...]},"scopeSpans":[{
//     "scope":{"name":"vantrel-timeline"},"spans":[{"traceId":"5b8e...",
//     "spanId":"0f3a...","parentSpanId":"...","name":"check#c","kind":1,
//     "startTimeUnixNano":"1765015275056000000","endTimeUnixNano":"...",
//     "attributes":[...],"events":[...],"status":{"code":2}}]}]}]}
#include <algorithm>
#include <cmath>

#include "tools/timeline/Outputs.h"

namespace Timeline {

struct OtlpOutput::Event {
  double time_ms;
  std::string text;
  int level;
};

// One process's spans: the older ones in chunks of the spool, the latest
// in `buffer`; offsets count from the process's first span.
struct OtlpOutput::Process {
  std::string buffer;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;  // spool offset, size
  std::uint64_t spilled = 0;                                    // bytes of its spans in the spool
  bool any = false;
};

namespace {

// OTLP span kinds and status codes.
constexpr int kind_server = 2;
constexpr int kind_client = 3;
constexpr int status_error = 2;

std::uint64_t mix(std::uint64_t x) {  // splitmix64's finaliser: a bijection
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t fnv1a(const std::string& text, std::uint64_t seed) {
  std::uint64_t hash = 0xCBF29CE484222325ull ^ seed;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ull;
  return mix(hash);
}

void append_hex(std::string& out, std::uint64_t value) {
  static const char hex[] = "0123456789abcdef";
  char digits[16];
  for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = hex[value & 0xF];
  out.append(digits, sizeof digits);
}

// A span id: the scope's number mixed, so ids look random but stay unique.
std::uint64_t span_id(std::uint64_t number) {
  std::uint64_t id = mix(number);
  return id == 0 ? 1 : id;  // zero is "no span"
}

// Nanoseconds since 1970 as a decimal string, clamped to what OTLP's
// fixed64 holds; whole milliseconds apart from the fraction, so that a
// double's rounding at 10^18 does not show.
void append_nanos(std::string& out, double ms) {
  ms = std::min(std::max(ms, 0.0), 1.8e13);
  double whole = std::floor(ms);
  std::uint64_t nanos = static_cast<std::uint64_t>(whole) * 1000000u +
                        static_cast<std::uint64_t>(std::llround((ms - whole) * 1e6));
  out += '"';
  append_integer(out, nanos);
  out += '"';
}

void append_key(std::string& out, bool& first, const char* key) {
  out += first ? "{\"key\":\"" : ",{\"key\":\"";
  first = false;
  out += key;
  out += "\",\"value\":{";
}

void append_string_attribute(std::string& out, bool& first, const char* key,
                             const std::string& value) {
  if (value.empty()) return;
  append_key(out, first, key);
  out += "\"stringValue\":\"";
  append_json_string(out, value);
  out += "\"}}";
}

void append_int_attribute(std::string& out, bool& first, const char* key, std::int64_t value) {
  append_key(out, first, key);
  out += "\"intValue\":\"";
  append_integer(out, value);
  out += "\"}}";
}

void append_bool_attribute(std::string& out, bool& first, const char* key, bool value) {
  if (!value) return;
  append_key(out, first, key);
  out += "\"boolValue\":true}}";
}

void append_context(std::string& out, bool& first, int level, const RecordContext& context) {
  append_string_attribute(out, first, "vantrel.importance", level_name(level));
  append_string_attribute(out, first, "vantrel.workflow.root", context.root);
  append_string_attribute(out, first, "vantrel.workflow.caller", context.caller);
  append_string_attribute(out, first, "vantrel.workflow.callee", context.callee);
  append_string_attribute(out, first, "enduser.id", context.user);
  append_string_attribute(out, first, "vantrel.architect", context.architect);
  append_string_attribute(out, first, "vantrel.developer", context.developer);
  append_string_attribute(out, first, "vantrel.consultant", context.consultant);
}

// A process's buffer goes to the spool once it holds this much, and every
// buffer once all together hold `all_buffers_limit`.
constexpr std::size_t process_buffer_limit = 1 << 16;
constexpr std::size_t all_buffers_limit = 1 << 24;

}  // namespace

// A change finish() makes to a process's spans: at `offset`, `erase` bytes
// replaced by `text`.
struct OtlpOutput::Patch {
  std::uint64_t offset;
  std::size_t erase;
  std::string text;
  bool operator<(const Patch& other) const { return offset < other.offset; }
};

OtlpOutput::OtlpOutput(std::FILE* file) : file_(file) {}

OtlpOutput::~OtlpOutput() {
  if (spool_) std::fclose(spool_);
}

void OtlpOutput::host_named(std::uint32_t index, const std::string& name) {
  if (hosts_.size() <= index) hosts_.resize(index + 1);
  hosts_[index] = name;
}

// A scope with a workflow root belongs to that root's trace, the same in
// every process; a scope without one to its parent's trace, or to a trace of
// its own.
OtlpOutput::Trace OtlpOutput::trace_of(const Scope& scope, const Trace* parent) const {
  if (!scope.context.root.empty())
    return Trace{fnv1a(scope.context.root, 1), fnv1a(scope.context.root, 2)};
  if (parent) return *parent;
  const std::string& host = scope.host < hosts_.size() ? hosts_[scope.host] : "";
  std::string own = host;  // "host\npid\nid"
  own += '\n';
  append_integer(own, scope.pid);
  own += '\n';
  append_integer(own, scope.id);
  return Trace{fnv1a(own, 3), fnv1a(own, 4)};
}

void OtlpOutput::opened(const Scope& scope) {
  auto parent = scope.parent_id != 0 ? open_traces_.find(scope.parent_id) : open_traces_.end();
  open_traces_[scope.id] =
      trace_of(scope, parent != open_traces_.end() ? &parent->second : nullptr);
}

void OtlpOutput::message(const Record& record, std::uint32_t, const Scope* enclosing) {
  // A message outside every scope has no span to belong to.
  if (enclosing) events_[enclosing->id].push_back(Event{record.time_ms, record.text, record.level});
}

// Its parent is open still (children close first): a parent in another
// trace is not named.
void OtlpOutput::scope(const Scope& scope) {
  auto parent = scope.parent_id != 0 ? open_traces_.find(scope.parent_id) : open_traces_.end();
  const Trace* parent_trace = parent != open_traces_.end() ? &parent->second : nullptr;
  auto own = open_traces_.find(scope.id);
  Trace trace = own != open_traces_.end() ? own->second : trace_of(scope, parent_trace);
  if (own != open_traces_.end()) open_traces_.erase(own);
  Process& into = process(scope);
  std::size_t before = into.buffer.size();
  if (into.any) into.buffer += ",\n";
  into.any = true;
  Patchable where{span_id(scope.id), 0, 0};
  write_span(into.buffer, scope, trace, parent_trace && *parent_trace == trace, where);
  if (!scope.context.root.empty()) {
    workflow_scopes_.push_back(CallScope::of(scope));
    where.kind_at += into.spilled;
    where.parent_at += into.spilled;
    patchable_.emplace_back(ProcessKey(scope.host, scope.pid), where);
  }
  buffered_ += into.buffer.size() - before;
  if (into.buffer.size() >= process_buffer_limit) spill(into);
  if (buffered_ >= all_buffers_limit)
    for (auto& entry : processes_) spill(entry.second);
}

OtlpOutput::Process& OtlpOutput::process(const Scope& scope) {
  const ProcessKey key(scope.host, scope.pid);
  if (!last_process_ || last_process_key_ != key) {
    last_process_ = &processes_[key];
    last_process_key_ = key;
  }
  return *last_process_;
}

// Moves the process's buffer to the end of the spool. Without a temporary
// file the spans stay in memory.
void OtlpOutput::spill(Process& process) {
  if (process.buffer.empty()) return;
  if (!spool_) spool_ = std::tmpfile();
  if (!spool_) return;
  const std::size_t size = process.buffer.size();
  if (std::fwrite(process.buffer.data(), 1, size, spool_) != size) {
    std::fclose(spool_);
    spool_ = nullptr;
    return;
  }
  process.chunks.emplace_back(spool_size_, size);
  spool_size_ += size;
  process.spilled += size;
  buffered_ -= size;
  std::string().swap(process.buffer);
}

void OtlpOutput::write_span(std::string& out, const Scope& scope, const Trace& trace,
                            bool parent_named, Patchable& where) {
  out += "{\"traceId\":\"";
  append_hex(out, trace.high);
  append_hex(out, trace.low);
  out += "\",\"spanId\":\"";
  append_hex(out, span_id(scope.id));
  where.parent_at = out.size();
  if (parent_named) {
    out += "\",\"parentSpanId\":\"";
    append_hex(out, span_id(scope.parent_id));
  }
  out += "\",\"name\":\"";
  append_json_string(out, scope.label);
  out += "\",\"kind\":";
  where.kind_at = out.size();
  out += '1';
  out += ",\"startTimeUnixNano\":";
  append_nanos(out, scope.start_ms);
  out += ",\"endTimeUnixNano\":";
  append_nanos(out, scope.end_ms);
  out += ",\"attributes\":[";
  bool first = true;
  append_int_attribute(out, first, "thread.id", static_cast<std::int64_t>(scope.tid));
  append_context(out, first, scope.level, scope.context);
  if (scope.severity != ' ')
    append_string_attribute(out, first, "vantrel.severity", std::string(1, scope.severity));
  append_string_attribute(out, first, "vantrel.closed_as", scope.closed_as);
  append_bool_attribute(out, first, "vantrel.unclosed", scope.unclosed);
  append_bool_attribute(out, first, "vantrel.open_missing", scope.open_missing);
  append_bool_attribute(out, first, "vantrel.exception", scope.exception);
  append_bool_attribute(out, first, "vantrel.ended_by_crash", scope.ended_by_crash);
  out += ']';
  write_events(out, scope.id);
  if (scope.exception || scope.ended_by_crash) {
    out += ",\"status\":{\"code\":" + std::to_string(status_error) + ",\"message\":\"";
    out += scope.exception ? "left by an exception\"}" : "ended by a crash\"}";
  }
  out += '}';
}

// The scope's messages, which are dropped here: the scope has closed.
void OtlpOutput::write_events(std::string& out, std::uint64_t scope_id) {
  auto events = events_.find(scope_id);
  if (events == events_.end()) return;
  out += ",\"events\":[";
  for (const Event& event : events->second) {
    if (&event != &events->second.front()) out += ',';
    out += "{\"timeUnixNano\":";
    append_nanos(out, event.time_ms);
    out += ",\"name\":\"";
    append_json_string(out, event.text);
    out += "\",\"attributes\":[";
    bool first_attribute = true;
    append_string_attribute(out, first_attribute, "vantrel.importance", level_name(event.level));
    out += "]}";
  }
  out += ']';
  events_.erase(events);
}

// Small pieces are gathered in buffer_; large ones go to the file as they
// are, saving a copy.
void OtlpOutput::write_out(const char* data, std::size_t size) {
  if (size < (1u << 16)) {
    buffer_.append(data, size);
    if (buffer_.size() < (1u << 20)) return;
  }
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
  if (size >= (1u << 16)) std::fwrite(data, 1, size, file_);
}

// The cross calls as patches per process: the callee becomes a server span
// with the caller's span as parent, the caller a client span.
std::map<OtlpOutput::ProcessKey, std::vector<OtlpOutput::Patch>> OtlpOutput::call_patches() const {
  const std::size_t none = static_cast<std::size_t>(-1);
  std::vector<std::size_t> callers(workflow_scopes_.size(), none);
  std::vector<CallLink> links = link_calls(workflow_scopes_);
  for (const CallLink& link : links) callers[link.callee] = link.caller;
  std::vector<int> kinds(workflow_scopes_.size(), 0);
  std::vector<std::uint64_t> parents(workflow_scopes_.size(), 0);
  for (const CallLink& link : links) {
    // Two outermost scopes of equal times in two processes each contain
    // the other: the later one only is the callee, so that no span is its
    // own ancestor.
    if (callers[link.caller] == link.callee && link.callee < link.caller) continue;
    kinds[link.callee] = kind_server;
    parents[link.callee] = patchable_[link.caller].second.span_id;
    kinds[link.caller] = kind_client;
  }
  std::map<ProcessKey, std::vector<Patch>> patches;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const auto& where = patchable_[i];
    std::vector<Patch>& into = patches[where.first];
    if (kinds[i] != 0)
      into.push_back(
          Patch{where.second.kind_at, 1, std::string(1, static_cast<char>('0' + kinds[i]))});
    if (parents[i] != 0) {
      std::string named = "\",\"parentSpanId\":\"";
      append_hex(named, parents[i]);
      into.push_back(Patch{where.second.parent_at, 0, named});
    }
  }
  for (auto& entry : patches) std::sort(entry.second.begin(), entry.second.end());
  return patches;
}

// Writes `size` bytes of a process's spans that start at `offset` in them,
// applying the patches that fall inside.
void OtlpOutput::copy_spans(const char* data, std::size_t size, std::uint64_t offset,
                            const std::vector<Patch>& patches, std::size_t& next_patch) {
  std::size_t at = 0;
  for (; next_patch < patches.size() && patches[next_patch].offset < offset + size; ++next_patch) {
    const Patch& patch = patches[next_patch];
    std::size_t patch_at = static_cast<std::size_t>(patch.offset - offset);
    write_out(data + at, patch_at - at);
    write_out(patch.text.data(), patch.text.size());
    at = patch_at + patch.erase;
  }
  write_out(data + at, size - at);
}

void OtlpOutput::copy_process(Process& process, const std::vector<Patch>& patches) {
  std::size_t next_patch = 0;
  std::uint64_t offset = 0;
  std::string chunk;
  for (const auto& spilled : process.chunks) {
    chunk.resize(spilled.second);
    if (std::fseek(spool_, static_cast<long>(spilled.first), SEEK_SET) != 0 ||
        std::fread(&chunk[0], 1, chunk.size(), spool_) != chunk.size())
      chunk.assign(chunk.size(), ' ');  // a spool that cannot be read back: blank, still JSON
    copy_spans(chunk.data(), chunk.size(), offset, patches, next_patch);
    offset += chunk.size();
  }
  copy_spans(process.buffer.data(), process.buffer.size(), offset, patches, next_patch);
}

void OtlpOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  if (spool_) std::fflush(spool_);
  std::map<ProcessKey, std::vector<Patch>> patches = call_patches();
  std::map<ProcessKey, std::string> names;
  for (const Lane& lane : lanes) names.emplace(ProcessKey(lane.host, lane.pid), lane.process);
  std::string head = "{\"resourceSpans\":[";
  for (auto& process : processes_) {
    if (&process != &*processes_.begin()) head += ",\n";
    const std::string& name = names[process.first];
    head += "{\"resource\":{\"attributes\":[";
    bool first = true;
    append_string_attribute(head, first, "service.name",
                            name.empty() ? "pid " + std::to_string(process.first.second) : name);
    append_int_attribute(head, first, "process.pid", process.first.second);
    if (process.first.first < facts.hosts.size())
      append_string_attribute(head, first, "host.name", facts.hosts[process.first.first]);
    head += "]},\"scopeSpans\":[{\"scope\":{\"name\":\"vantrel-timeline\"},\"spans\":[\n";
    write_out(head.data(), head.size());
    head.clear();
    copy_process(process.second, patches[process.first]);
    head = "]}]}";
  }
  head += "]}\n";
  write_out(head.data(), head.size());
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

}  // namespace Timeline

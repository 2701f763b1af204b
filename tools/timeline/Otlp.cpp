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
#include <unordered_map>

#include "tools/timeline/Outputs.h"

namespace Timeline {

struct OtlpOutput::Event {
  double time_ms;
  std::string text;
  int level;
};

struct OtlpOutput::Span {
  Scope scope;
  std::uint64_t trace_high = 0, trace_low = 0;
  std::uint64_t parent = 0;  // span id in the same trace, 0 for a root span
  int kind = 1;              // 1 internal, 2 server (incoming call), 3 client
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
  for (int shift = 60; shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
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

using ProcessKey = std::pair<std::uint32_t, std::int64_t>;

ProcessKey process_of(const Scope& scope) { return {scope.host, scope.pid}; }

}  // namespace

OtlpOutput::OtlpOutput(std::FILE* file) : file_(file) {}
OtlpOutput::~OtlpOutput() = default;

void OtlpOutput::scope(const Scope& scope) {
  Span span;
  span.scope = scope;
  spans_.push_back(std::move(span));
}

void OtlpOutput::message(const Record& record, std::uint32_t, const Scope* enclosing) {
  // A message outside every scope has no span to belong to.
  if (enclosing) events_[enclosing->id].push_back(Event{record.time_ms, record.text, record.level});
}

void OtlpOutput::link_calls() {
  std::vector<CallScope> scopes;
  scopes.reserve(spans_.size());
  for (const Span& span : spans_) scopes.push_back(CallScope::of(span.scope));
  for (const CallLink& link : Timeline::link_calls(scopes)) {
    spans_[link.callee].parent = spans_[link.caller].scope.id;
    spans_[link.callee].kind = kind_server;
    spans_[link.caller].kind = kind_client;
  }
}

// A scope with a workflow root belongs to that root's trace, the same in
// every process; a scope without one to its parent's trace, or to a trace of
// its own. A parent in another trace is not named.
void OtlpOutput::assign_traces(const RunFacts& facts) {
  std::sort(spans_.begin(), spans_.end(),
            [](const Span& a, const Span& b) { return a.scope.id < b.scope.id; });
  std::unordered_map<std::uint64_t, std::size_t> index;
  for (std::size_t i = 0; i < spans_.size(); ++i) index.emplace(spans_[i].scope.id, i);
  for (Span& span : spans_) {
    const Scope& scope = span.scope;
    std::uint64_t parent = span.parent != 0 ? span.parent : scope.parent_id;
    auto found = parent != 0 ? index.find(parent) : index.end();
    if (!scope.context.root.empty()) {
      span.trace_high = fnv1a(scope.context.root, 1);
      span.trace_low = fnv1a(scope.context.root, 2);
    } else if (found != index.end()) {
      span.trace_high = spans_[found->second].trace_high;
      span.trace_low = spans_[found->second].trace_low;
    } else {
      const std::string& host = scope.host < facts.hosts.size() ? facts.hosts[scope.host] : "";
      std::string own = host + '\n' + std::to_string(scope.pid) + '\n' + std::to_string(scope.id);
      span.trace_high = fnv1a(own, 3);
      span.trace_low = fnv1a(own, 4);
    }
    bool same_trace = found != index.end() && spans_[found->second].trace_high == span.trace_high &&
                      spans_[found->second].trace_low == span.trace_low;
    span.parent = same_trace ? parent : 0;
  }
}

void OtlpOutput::write_span(const Span& span) {
  const Scope& scope = span.scope;
  buffer_ += "{\"traceId\":\"";
  append_hex(buffer_, span.trace_high);
  append_hex(buffer_, span.trace_low);
  buffer_ += "\",\"spanId\":\"";
  append_hex(buffer_, span_id(scope.id));
  if (span.parent != 0) {
    buffer_ += "\",\"parentSpanId\":\"";
    append_hex(buffer_, span_id(span.parent));
  }
  buffer_ += "\",\"name\":\"";
  append_json_string(buffer_, scope.label);
  buffer_ += "\",\"kind\":";
  buffer_ += static_cast<char>('0' + span.kind);
  buffer_ += ",\"startTimeUnixNano\":";
  append_nanos(buffer_, scope.start_ms);
  buffer_ += ",\"endTimeUnixNano\":";
  append_nanos(buffer_, scope.end_ms);
  buffer_ += ",\"attributes\":[";
  bool first = true;
  append_int_attribute(buffer_, first, "thread.id", static_cast<std::int64_t>(scope.tid));
  append_context(buffer_, first, scope.level, scope.context);
  if (scope.severity != ' ')
    append_string_attribute(buffer_, first, "vantrel.severity", std::string(1, scope.severity));
  append_string_attribute(buffer_, first, "vantrel.closed_as", scope.closed_as);
  append_bool_attribute(buffer_, first, "vantrel.unclosed", scope.unclosed);
  append_bool_attribute(buffer_, first, "vantrel.open_missing", scope.open_missing);
  append_bool_attribute(buffer_, first, "vantrel.exception", scope.exception);
  append_bool_attribute(buffer_, first, "vantrel.ended_by_crash", scope.ended_by_crash);
  buffer_ += ']';
  auto events = events_.find(scope.id);
  if (events != events_.end()) {
    buffer_ += ",\"events\":[";
    for (const Event& event : events->second) {
      if (&event != &events->second.front()) buffer_ += ',';
      buffer_ += "{\"timeUnixNano\":";
      append_nanos(buffer_, event.time_ms);
      buffer_ += ",\"name\":\"";
      append_json_string(buffer_, event.text);
      buffer_ += "\",\"attributes\":[";
      bool first_attribute = true;
      append_string_attribute(buffer_, first_attribute, "vantrel.importance",
                              level_name(event.level));
      buffer_ += "]}";
    }
    buffer_ += ']';
  }
  if (scope.exception || scope.ended_by_crash) {
    buffer_ += ",\"status\":{\"code\":" + std::to_string(status_error) + ",\"message\":\"";
    buffer_ += scope.exception ? "left by an exception\"}" : "ended by a crash\"}";
  }
  buffer_ += '}';
  flush_if_full();
}

void OtlpOutput::flush_if_full() {
  if (buffer_.size() < (1u << 20)) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

void OtlpOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  link_calls();
  assign_traces(facts);
  std::map<ProcessKey, std::vector<const Span*>> processes;
  for (const Span& span : spans_) processes[process_of(span.scope)].push_back(&span);
  std::map<ProcessKey, std::string> names;
  for (const Lane& lane : lanes) names.emplace(ProcessKey(lane.host, lane.pid), lane.process);
  buffer_ += "{\"resourceSpans\":[";
  for (auto& process : processes) {
    if (&process != &*processes.begin()) buffer_ += ",\n";
    const std::string& name = names[process.first];
    buffer_ += "{\"resource\":{\"attributes\":[";
    bool first = true;
    append_string_attribute(buffer_, first, "service.name",
                            name.empty() ? "pid " + std::to_string(process.first.second) : name);
    append_int_attribute(buffer_, first, "process.pid", process.first.second);
    if (process.first.first < facts.hosts.size())
      append_string_attribute(buffer_, first, "host.name", facts.hosts[process.first.first]);
    buffer_ += "]},\"scopeSpans\":[{\"scope\":{\"name\":\"vantrel-timeline\"},\"spans\":[\n";
    for (const Span* span : process.second) {
      if (span != process.second.front()) buffer_ += ",\n";
      write_span(*span);
    }
    buffer_ += "]}]}";
  }
  buffer_ += "]}\n";
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

}  // namespace Timeline

// Chrome trace-event JSON, which trace viewers open. One line per event:
//   {"name":"check#c","cat":"scope","ph":"X","ts":1765000000042000.000,"dur":10127.000,
//    "pid":4242,"tid":4243,"args":{"importance":"L","elapsed_ms":10.127,"root":"order#7"}}
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/timeline/Outputs.h"

namespace Timeline {
namespace {

// Calls `ascii(c)` for each ASCII character and appends other valid UTF-8
// sequences as they are, invalid bytes as U+FFFD.
template <typename Ascii>
void append_utf8(std::string& out, const std::string& text, Ascii ascii) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = at + text.size();
  while (at < end) {
    if (*at < 0x80) {
      ascii(static_cast<char>(*at++));
      continue;
    }
    std::size_t length = utf8_sequence_length(at, end);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(reinterpret_cast<const char*>(at), length);
      at += length;
    }
  }
}

void append_field(std::string& out, const char* key, const std::string& value) {
  if (value.empty()) return;
  out += ",\"";
  out += key;
  out += "\":\"";
  append_json_string(out, value);
  out += '"';
}

// "importance":"L" and the context fields that are present.
void append_common_args(std::string& out, int level, char severity, const RecordContext& context) {
  out += "\"importance\":\"";
  out += level_name(level);
  out += '"';
  if (severity != ' ') append_field(out, "severity", std::string(1, severity));
  append_field(out, "root", context.root);
  append_field(out, "caller", context.caller);
  append_field(out, "callee", context.callee);
  append_field(out, "user", context.user);
  append_field(out, "architect", context.architect);
  append_field(out, "developer", context.developer);
  append_field(out, "consultant", context.consultant);
}

void append_thread(std::string& out, std::int64_t pid, std::uint64_t tid) {
  out += ",\"pid\":";
  append_integer(out, pid);
  out += ",\"tid\":";
  append_integer(out, tid);
}

}  // namespace

std::int64_t shown_pid(std::uint32_t host, std::int64_t pid) {
  return host == 0 ? pid : static_cast<std::int64_t>(host) << 32 | pid;
}

void append_integer(std::string& out, std::int64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void append_integer(std::string& out, std::uint64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

bool is_plain_json(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
  });
}

void append_json_string(std::string& out, const std::string& text) {
  append_utf8(out, text, [&out](char c) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char hex[] = "0123456789abcdef";
      const unsigned code = static_cast<unsigned char>(c);
      (out += "\\u00") += hex[code >> 4];
      out += hex[code & 0xF];
    } else {
      out += c;
    }
  });
}

void append_xml_text(std::string& out, const std::string& text) {
  append_utf8(out, text, [&out](char c) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\t') out += c;
    }
  });
}

void append_number(std::string& out, double value) {
  if (!(std::fabs(value) < 9e15)) {  // out of the fast range, or NaN
    // A finite double has at most 309 whole digits; the buffer holds them
    // and to_chars never writes past its end.
    char text[400];
    auto printed = std::to_chars(text, text + sizeof text, std::isfinite(value) ? value : 0.0,
                                 std::chars_format::fixed, 3);
    out.append(text, printed.ec == std::errc() ? printed.ptr : text);
    return;
  }
  char text[32];
  char* at = text;
  if (value < 0) {
    value = -value;
    if (std::llround(value * 1000.0) != 0) *at++ = '-';
  }
  // Whole and fractional parts apart: value * 1000 would lose the last
  // digits of a time since 1970 in microseconds.
  double whole_part = std::floor(value);
  long long whole = static_cast<long long>(whole_part);
  long long thousandths = std::llround((value - whole_part) * 1000.0);
  if (thousandths == 1000) {
    ++whole;
    thousandths = 0;
  }
  at = std::to_chars(at, text + sizeof text - 4, whole).ptr;
  at[0] = '.';
  at[1] = static_cast<char>('0' + thousandths / 100);
  at[2] = static_cast<char>('0' + thousandths / 10 % 10);
  at[3] = static_cast<char>('0' + thousandths % 10);
  out.append(text, static_cast<std::size_t>(at + 4 - text));
}

JsonOutput::JsonOutput(std::FILE* file) : file_(file) { buffer_ = "{\"traceEvents\":[\n"; }

void JsonOutput::begin_event() {
  if (!first_event_) buffer_ += ",\n";
  first_event_ = false;
}

void JsonOutput::flush_if_full() {
  if (buffer_.size() < (1u << 20)) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

void JsonOutput::scope(const Scope& scope) {
  begin_event();
  buffer_ += "{\"name\":\"";
  append_json_string(buffer_, scope.label);
  buffer_ += "\",\"cat\":\"scope\",\"ph\":\"X\",\"ts\":";
  append_number(buffer_, scope.start_ms * 1000.0);
  buffer_ += ",\"dur\":";
  append_number(buffer_, (scope.end_ms - scope.start_ms) * 1000.0);
  append_thread(buffer_, shown_pid(scope.host, scope.pid), scope.tid);
  buffer_ += ",\"args\":{";
  append_common_args(buffer_, scope.level, scope.severity, scope.context);
  buffer_ += ",\"elapsed_ms\":";
  append_number(buffer_, scope.elapsed_ms);
  append_field(buffer_, "closed_as", scope.closed_as);
  if (scope.exception) buffer_ += ",\"exception\":true";
  if (scope.unclosed) buffer_ += ",\"unclosed\":true";
  if (scope.ended_by_crash) buffer_ += ",\"ended_by_crash\":true";
  if (scope.open_missing) buffer_ += ",\"open_missing\":true";
  buffer_ += "}}";
  if (!scope.context.root.empty()) calls_.add(CallScope::of(scope));
  flush_if_full();
}

// A flow from the caller's scope to the callee's, both ends at the callee's
// start, so that each binds to its enclosing slice.
void JsonOutput::write_flows() {
  std::size_t flow_id = 0;
  calls_.find([&](const CallScope& callee, const CallScope& caller) {
    ++flow_id;
    for (const CallScope* end : {&caller, &callee}) {
      begin_event();
      buffer_ += end == &caller
                     ? "{\"name\":\"call\",\"cat\":\"call\",\"ph\":\"s\",\"id\":"
                     : "{\"name\":\"call\",\"cat\":\"call\",\"ph\":\"f\",\"bp\":\"e\",\"id\":";
      append_integer(buffer_, static_cast<std::uint64_t>(flow_id));
      buffer_ += ",\"ts\":";
      append_number(buffer_, callee.start_ms * 1000.0);
      append_thread(buffer_, shown_pid(end->host, end->pid), end->tid);
      buffer_ += '}';
    }
    flush_if_full();
  });
}

void JsonOutput::message(const Record& record, std::uint32_t host, const Scope*) {
  begin_event();
  buffer_ += "{\"name\":\"";
  append_json_string(buffer_, record.text.size() > 80 ? record.text.substr(0, 80) : record.text);
  buffer_ += is_crash_record(record) ? "\",\"cat\":\"crash\"" : "\",\"cat\":\"message\"";
  buffer_ += ",\"ph\":\"i\",\"s\":\"t\",\"ts\":";
  append_number(buffer_, record.time_ms * 1000.0);
  append_thread(buffer_, shown_pid(host, record.pid), record.tid);
  buffer_ += ",\"args\":{";
  append_common_args(buffer_, record.level, record.severity, record.context);
  append_field(buffer_, "text", record.text);
  append_field(buffer_, "source", record.source);
  if (record.exception) buffer_ += ",\"exception\":true";
  buffer_ += "}}";
  flush_if_full();
}

void JsonOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  write_flows();
  std::int64_t previous_pid = 0;
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    const Lane& lane = lanes[i];
    const std::int64_t pid = shown_pid(lane.host, lane.pid);
    if (i == 0 || pid != previous_pid) {
      begin_event();
      buffer_ += "{\"name\":\"process_name\",\"ph\":\"M\"";
      append_thread(buffer_, pid, 0);
      buffer_ += ",\"args\":{\"name\":\"";
      std::string name = lane.process.empty() ? "pid " + std::to_string(lane.pid) : lane.process;
      const std::string& host = lane.host < facts.hosts.size() ? facts.hosts[lane.host] : "";
      if (!host.empty()) name += " on " + host;
      append_json_string(buffer_, name);
      buffer_ += "\"}}";
      previous_pid = pid;
    }
    begin_event();
    buffer_ += "{\"name\":\"thread_name\",\"ph\":\"M\"";
    append_thread(buffer_, pid, lane.tid);
    buffer_ += ",\"args\":{\"name\":\"";
    buffer_ += static_cast<std::int64_t>(lane.tid) == lane.pid ? "main thread " : "thread ";
    buffer_ += std::to_string(lane.tid);
    buffer_ += "\"}}";
  }
  buffer_ += "\n],\"displayTimeUnit\":\"ms\"}\n";
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

void Outputs::scope(const Scope& scope) {
  for (auto& output : outputs_) output->scope(scope);
}
void Outputs::opened(const Scope& scope) {
  for (auto& output : outputs_) output->opened(scope);
}
void Outputs::host_named(std::uint32_t index, const std::string& name) {
  for (auto& output : outputs_) output->host_named(index, name);
}
void Outputs::process_named(std::uint32_t host, std::int64_t pid, const std::string& name) {
  for (auto& output : outputs_) output->process_named(host, pid, name);
}
void Outputs::message(const Record& record, std::uint32_t host, const Scope* enclosing) {
  for (auto& output : outputs_) output->message(record, host, enclosing);
}
void Outputs::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  for (auto& output : outputs_) output->finish(lanes, facts);
}

}  // namespace Timeline

#include "tools/timeline/Diagnostics.h"

#include <algorithm>

#include "tools/timeline/Record.h"

namespace Timeline {
namespace {

void append_escaped(std::string& out, unsigned char byte) {
  static const char hex[] = "0123456789abcdef";
  ((out += "\\x") += hex[byte >> 4]) += hex[byte & 0xF];
}

}  // namespace

std::string printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = at + text.size();
  while (at < end) {
    if (*at < 0x80) {
      if (*at < 0x20 || *at == 0x7F)
        append_escaped(out, *at);
      else
        out += static_cast<char>(*at);
      ++at;
      continue;
    }
    std::size_t length = utf8_sequence_length(at, end);
    bool c1_control = length == 2 && at[0] == 0xC2 && at[1] < 0xA0;
    if (length == 0 || c1_control) {
      for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) append_escaped(out, at[i]);
      at += std::max<std::size_t>(length, 1);
    } else {
      out.append(reinterpret_cast<const char*>(at), length);
      at += length;
    }
  }
  return out;
}

void Diagnostics::report(const std::string& file, std::size_t line, const std::string& what) {
  ++count_;
  if (file != current_file_) {
    current_file_ = file;
    file_count_ = 0;
  }
  if (++file_count_ > per_file_limit) return;
  const std::string shown_file = printable(file);
  const std::string shown_what = printable(what);
  if (line > 0)
    std::fprintf(out_, "vantrel-timeline: %s:%zu: %s\n", shown_file.c_str(), line,
                 shown_what.c_str());
  else
    std::fprintf(out_, "vantrel-timeline: %s: %s\n", shown_file.c_str(), shown_what.c_str());
}

void Diagnostics::end_file(const std::string& file) {
  if (file == current_file_ && file_count_ > per_file_limit)
    std::fprintf(out_, "vantrel-timeline: %s: %zu more problems not shown\n",
                 printable(file).c_str(), file_count_ - per_file_limit);
  current_file_.clear();
  file_count_ = 0;
}

}  // namespace Timeline

#include "tools/timeline/XmlScan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace Timeline {
namespace {

bool is_name_start(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}
bool is_name_char(unsigned char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
// Bytes that character data passes on as they are.
bool is_plain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '<' && c != '&' && c != ']'; }
bool is_xml_char(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void put_utf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

XmlScan::Result XmlScan::element(const char* begin, const char* end, const char*& stop,
                                 bool start_tag_only) {
  p_ = begin;
  end_ = end;
  result_ = Result::Done;
  chars_.clear();
  offsets_.clear();
  events_.clear();
  open_.clear();
  if (!start_tag()) return result_;
  if (!start_tag_only) {
    while (!open_.empty()) {
      if (!content() || !need(2)) return result_;
      if (p_[1] == '/') {
        if (!end_tag()) return result_;
      } else if (p_[1] == '!' || p_[1] == '?') {
        return Result::Foreign;
      } else if (!start_tag()) {
        return result_;
      }
    }
  }
  stop = p_;
  return Result::Done;
}

void XmlScan::replay(Handler& handler) {
  const char* base = chars_.data();
  for (const Event& event : events_) {
    if (event.kind == Kind::Text) {
      handler.text(base + event.first, static_cast<int>(event.count));
    } else if (event.kind == Kind::End) {
      handler.end();
    } else {
      pointers_.clear();
      for (std::uint32_t i = 1; i <= 2 * event.count; ++i)
        pointers_.push_back(base + offsets_[event.first + i]);
      pointers_.push_back(nullptr);
      handler.start(base + offsets_[event.first], pointers_.data());
    }
  }
}

// At '<': the tag's name and attributes, and the end event of "<a/>".
bool XmlScan::start_tag() {
  ++p_;
  const char* tag = nullptr;
  std::size_t tag_length = 0;
  if (!name(tag, tag_length)) return false;
  const auto event_at = static_cast<std::uint32_t>(offsets_.size());
  keep_string(tag, tag_length);
  std::uint32_t attributes = 0;
  for (;;) {
    const bool spaced = space();
    if (!need(1)) return false;
    if (*p_ == '>' || *p_ == '/') break;
    const char* key = nullptr;
    std::size_t key_length = 0;
    if (!spaced) return fail(Result::Foreign);
    if (!name(key, key_length)) return false;
    space();
    if (!need(1)) return false;
    if (*p_ != '=') return fail(Result::Foreign);
    ++p_;
    space();
    if (!need(1)) return false;
    if (*p_ != '"' && *p_ != '\'') return fail(Result::Foreign);
    keep_string(key, key_length);
    for (std::uint32_t i = 0; i < attributes; ++i)
      if (std::strcmp(chars_.data() + offsets_[event_at + 1 + 2 * i],
                      chars_.data() + offsets_.back()) == 0)
        return fail(Result::Foreign);  // a repeated attribute
    offsets_.push_back(static_cast<std::uint32_t>(chars_.size()));
    if (!attribute_value(*p_++)) return false;
    chars_ += '\0';
    ++attributes;
  }
  events_.push_back({Kind::Start, event_at, attributes});
  if (*p_ == '/') {
    if (!need(2)) return false;
    if (p_[1] != '>') return fail(Result::Foreign);
    events_.push_back({Kind::End, 0, 0});
    p_ += 2;
    return true;
  }
  ++p_;
  open_.emplace_back(tag, tag_length);
  return true;
}

// At "</": the end tag of the innermost open element.
bool XmlScan::end_tag() {
  p_ += 2;
  const char* tag = nullptr;
  std::size_t length = 0;
  if (!name(tag, length)) return false;
  if (length != open_.back().second || std::memcmp(tag, open_.back().first, length) != 0)
    return fail(Result::Foreign);
  space();
  if (!need(1)) return false;
  if (*p_ != '>') return fail(Result::Foreign);
  ++p_;
  open_.pop_back();
  events_.push_back({Kind::End, 0, 0});
  return true;
}

// Character data up to the next '<', kept as one text event.
bool XmlScan::content() {
  const auto first = static_cast<std::uint32_t>(chars_.size());
  for (;;) {
    const char* run = p_;
    while (p_ != end_ && is_plain(static_cast<unsigned char>(*p_))) ++p_;
    chars_.append(run, static_cast<std::size_t>(p_ - run));
    if (!need(1)) return false;
    const auto c = static_cast<unsigned char>(*p_);
    if (c == '<') break;
    if (c == '&') {
      if (!reference()) return false;
    } else if (c == ']') {
      if (!need(3)) return false;
      if (p_[1] == ']' && p_[2] == '>') return fail(Result::Foreign);
      chars_ += *p_++;
    } else if (c == '\t' || c == '\n') {
      chars_ += *p_++;
    } else if (c >= 0x80) {
      if (!utf8()) return false;
    } else {
      return fail(Result::Foreign);  // a control character, or a carriage return
    }
  }
  const auto length = static_cast<std::uint32_t>(chars_.size()) - first;
  if (length > 0) events_.push_back({Kind::Text, first, length});
  return true;
}

bool XmlScan::name(const char*& first, std::size_t& length) {
  if (!need(1)) return false;
  if (!is_name_start(static_cast<unsigned char>(*p_))) return fail(Result::Foreign);
  first = p_;
  while (p_ != end_ && is_name_char(static_cast<unsigned char>(*p_))) ++p_;
  if (!need(1)) return false;
  if (static_cast<unsigned char>(*p_) >= 0x80) return fail(Result::Foreign);
  length = static_cast<std::size_t>(p_ - first);
  return true;
}

// The value after its opening quote, through the closing one; white space
// becomes a space, as in any attribute without a declared type.
bool XmlScan::attribute_value(char quote) {
  for (;;) {
    if (!need(1)) return false;
    const auto c = static_cast<unsigned char>(*p_);
    if (c == static_cast<unsigned char>(quote)) {
      ++p_;
      return true;
    }
    if (c == '&') {
      if (!reference()) return false;
    } else if (c == '\t' || c == '\n') {
      chars_ += ' ';
      ++p_;
    } else if (c >= 0x80) {
      if (!utf8()) return false;
    } else if (c < 0x20 || c == '<') {
      return fail(Result::Foreign);
    } else {
      chars_ += *p_++;
    }
  }
}

// At '&': a named entity or a character reference.
bool XmlScan::reference() {
  constexpr std::size_t longest = 12;  // "&#x0010FFFF;"
  const char* semicolon = static_cast<const char*>(
      std::memchr(p_, ';', std::min<std::size_t>(longest, static_cast<std::size_t>(end_ - p_))));
  if (!semicolon) return need(longest) ? fail(Result::Foreign) : false;
  const std::string_view ref(p_ + 1, static_cast<std::size_t>(semicolon - p_ - 1));
  p_ = semicolon + 1;
  static const std::pair<std::string_view, char> named[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& entity : named)
    if (ref == entity.first) {
      chars_ += entity.second;
      return true;
    }
  if (ref.size() < 2 || ref[0] != '#') return fail(Result::Foreign);
  const bool hex = ref[1] == 'x';
  std::uint32_t code = 0;
  for (char digit : ref.substr(hex ? 2 : 1)) {
    int value = digit >= '0' && digit <= '9'          ? digit - '0'
                : hex && digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                : hex && digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                      : -1;
    if (value < 0) return fail(Result::Foreign);
    code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
    if (code > 0x10FFFF) return fail(Result::Foreign);
  }
  if (!is_xml_char(code)) return fail(Result::Foreign);
  put_utf8(chars_, code);
  return true;
}

// At a byte of 0x80 or above: one well-formed UTF-8 sequence of a character
// XML allows, copied.
bool XmlScan::utf8() {
  const auto lead = static_cast<unsigned char>(*p_);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0) return fail(Result::Foreign);
  if (!need(length)) return false;
  const auto second = static_cast<unsigned char>(p_[1]);
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return fail(Result::Foreign);
  for (std::size_t i = 2; i < length; ++i)
    if ((static_cast<unsigned char>(p_[i]) & 0xC0) != 0x80) return fail(Result::Foreign);
  // U+FFFE and U+FFFF are not characters.
  if (lead == 0xEF && second == 0xBF && static_cast<unsigned char>(p_[2]) >= 0xBE)
    return fail(Result::Foreign);
  chars_.append(p_, length);
  p_ += length;
  return true;
}

// Skips white space; true when there was some. A carriage return is left
// for the full parser, whose line numbers count it.
bool XmlScan::space() {
  const char* from = p_;
  while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t')) ++p_;
  return p_ != from;
}

void XmlScan::keep_string(const char* first, std::size_t length) {
  offsets_.push_back(static_cast<std::uint32_t>(chars_.size()));
  chars_.append(first, length);
  chars_ += '\0';
}

}  // namespace Timeline

// Vantrel::Format: the {} front end, with {fmt}'s format syntax.
//
//   #include <Vantrel/Format.h>
//   Vantrel::Format{Vantrel::L}("listening on port {}", port);
//   VANTREL_FORMAT(Vantrel::Warning, "disk {}% full", 93);   // with its source position
//
// One call writes one Plain message with the records, the activity rule and
// the text length of Vantrel::Printf:
// - when the message is not active, the arguments are not formatted;
// - the text is formatted into the record's fixed buffer, without heap
//   allocation for the built-in types, and cut to its first 1023 characters;
//   a NUL in the text ends it;
// - the format string is checked against the arguments at compile time: by
//   VANTREL_FORMAT always, by Format{...}(...) when compiled as C++20 (as
//   C++17 it is checked when the message is written);
// - an argument whose formatter throws, or a format found wrong at run time,
//   does not reach the caller: the record's text is then
//   "[format error: " + the exception's text + "]".
// The caller's errno is kept.
//
// This is the only Vantrel header that needs {fmt} (Debian: libfmt-dev); the
// library itself does not link {fmt}, so a host that includes this header
// makes {fmt} its own dependency (header-only with FMT_HEADER_ONLY, or
// linking fmt::fmt).
#ifndef VANTREL_FORMAT_H
#define VANTREL_FORMAT_H

#include <Vantrel.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <tuple>
#include <type_traits>
#include <utility>

namespace Vantrel {

namespace format_detail {

// What the library's message path hands back to the host's formatting code.
struct Bound {
  fmt::string_view format;
  fmt::format_args args;
};

inline std::size_t failed(char* buffer, std::size_t size, const char* what) {
  const int length = std::snprintf(buffer, size + 1, "[format error: %s]", what);
  return length < 0 ? 0 : std::min(static_cast<std::size_t>(length), size);
}

// FormatMessage::Fill: formats into the record's buffer; never throws.
inline std::size_t fill(char* buffer, std::size_t size, const void* arguments) {
  const Bound& bound = *static_cast<const Bound*>(arguments);
  try {
    return std::min(fmt::vformat_to_n(buffer, size, bound.format, bound.args).size, size);
  } catch (const std::exception& error) {
    return failed(buffer, size, error.what());
  } catch (...) {
    return failed(buffer, size, "unknown exception");
  }
}

// Ends VANTREL_FORMAT's argument list, so that the list is never empty.
struct End {};

}  // namespace format_detail

// Format{importance}(format, arguments...): see the top of this header. Like
// Printf, write the braces: `Format(L)("x");` declares a variable named L.
class Format {
 public:
  explicit Format(const Importance& importance) : importance_(importance) {}

  template <typename... Args>
  void operator()(fmt::format_string<Args...> format, Args&&... args) const {
    if (FormatMessage::surely_inactive(importance_)) return;
    const auto store = fmt::make_format_args(args...);
    const format_detail::Bound bound{format, store};
    FormatMessage::write(importance_, &format_detail::fill, &bound);
  }

  // VANTREL_FORMAT's call: a format made by FMT_STRING, which {fmt} checks at
  // compile time, then the arguments, then End.
  template <typename S, typename... Rest>
  void checked(const S& format, Rest&&... rest) const {
    static_assert(sizeof...(Rest) >= 1, "the argument list ends with End");
    write_all_but_last(format, std::forward_as_tuple(std::forward<Rest>(rest)...),
                       std::make_index_sequence<sizeof...(Rest) - 1>{});
  }

  operator const Importance&() const { return importance_; }

 private:
  template <typename S, typename Tuple, std::size_t... I>
  void write_all_but_last(const S&, Tuple&& args, std::index_sequence<I...>) const {
    using Last = std::tuple_element_t<sizeof...(I), std::decay_t<Tuple>>;
    static_assert(std::is_same<std::decay_t<Last>, format_detail::End>::value,
                  "the argument list ends with End");
    // A fresh S (the string is in its type) is a constant expression, so
    // that C++20's compile-time check accepts it; `format` is not one.
    (*this)(S{}, std::get<I>(std::move(args))...);
  }

  Importance importance_;
};

}  // namespace Vantrel

// One Plain message of importance `imp` with its source position; the format
// (a string literal) is checked at compile time:
//   VANTREL_FORMAT(Vantrel::M, "{} of {} done", done, total);
#define VANTREL_FORMAT(imp, ...) \
  VANTREL_FORMAT_CALL_(imp, __VA_ARGS__, ::Vantrel::format_detail::End{})
#define VANTREL_FORMAT_CALL_(imp, format, ...) \
  ::Vantrel::Format{VANTREL_HERE(imp)}.checked(FMT_STRING(format), __VA_ARGS__)

#endif

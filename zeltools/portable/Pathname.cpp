#include "ZelTools/Portable.h"

namespace ZelTools {
namespace Portable {
namespace {

constexpr char separator = '/';

void remove_trailing_separator(std::string& text) {
  if (!text.empty() && text.back() == separator) text.pop_back();
}

// Any value other than Dot_dot counts as Dot.
char const* dot_text(Pathname::Dot_type const& d) { return d == Pathname::Dot_dot ? ".." : "."; }

}  // namespace

Pathname::Pathname(Dot_type const& d) : text_(dot_text(d)) {}

Pathname::Pathname(std::string const& s) : text_(s) { remove_trailing_separator(text_); }

Pathname::Pathname(Pathname const& dir, std::string const& name) : text_(dir.text_) {
  *this /= name;
}

Pathname::Pathname(Pathname const& dir, Dot_type const& d) : text_(dir.text_) { *this /= d; }

Pathname& Pathname::operator/=(std::string const& name) {
  std::string component(1, separator);
  component += name;
  remove_trailing_separator(component);
  text_ += component;
  return *this;
}

Pathname& Pathname::operator/=(Dot_type const& d) {
  text_ += separator;
  text_ += dot_text(d);
  return *this;
}

std::string Pathname::as_dir() const {
  std::string dir(text_);
  if (dir.empty() || dir.back() != separator) dir += separator;
  return dir;
}

std::string const& Pathname::as_file() const { return text_; }

std::string Pathname::basename() const {
  std::string::size_type last = text_.rfind(separator);
  return last == std::string::npos ? text_ : text_.substr(last + 1);
}

std::string Pathname::basename(std::string const& suffix) const {
  std::string base = basename();
  if (base.size() >= suffix.size() &&
      base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0) {
    base.erase(base.size() - suffix.size());
  }
  return base;
}

Pathname Pathname::dirname() const {
  std::string dir(text_);
  // With no separator, rfind gives npos and erase throws std::out_of_range:
  // a bare file name has no directory part.
  dir.erase(dir.rfind(separator));
  return Pathname(dir);
}

}  // namespace Portable
}  // namespace ZelTools

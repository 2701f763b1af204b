#include "LogOfstream.h"

#include <iostream>

#include "DebugTrace.h"

namespace Vantrel {

LogOfstream::LogOfstream(const std::string& name_) : to_screen(false), name(name_) { open(); }

LogOfstream::LogOfstream() : to_screen(true), name("ToScreen") { open(); }

void LogOfstream::open() {
  VANTREL_DEBUG("LogOfstream::open '" << name << "'");
  if (to_screen) return;
  std::ofstream::open(name, std::ios::out | std::ios::trunc);
  is_open = std::ofstream::is_open();
}

void LogOfstream::re_open() {
  VANTREL_DEBUG("LogOfstream::re_open '" << name << "'");
  if (to_screen || is_open) return;
  // A successful open clears the error bits a failed earlier attempt left.
  std::ofstream::open(name, std::ios::out | std::ios::app);
  is_open = std::ofstream::is_open();
}

void LogOfstream::close() {
  VANTREL_DEBUG("LogOfstream::close '" << name << "'");
  if (to_screen || !is_open) return;
  std::ofstream::close();
  is_open = std::ofstream::is_open();
}

std::ostream& LogOfstream::target() {
  if (to_screen) return std::cout;
  return *this;
}

}  // namespace Vantrel

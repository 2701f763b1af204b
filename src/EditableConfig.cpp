#include "EditableConfig.h"

#include <ZelTools/Portable.h>

#include "QuickVerdict.h"

namespace Vantrel {

bool EditableConfig::reload(Config& record) {
  const std::string path = configfile();
  ZelTools::Portable::ifstream in(path.c_str());
  if (!in.is_open() || in.fail()) return false;
  const bool parsed = record.parse(in, name(), logdir(), path);
  return parsed && in.eof();
}

void EditableConfig::published() { QuickVerdict::refresh(); }

}  // namespace Vantrel

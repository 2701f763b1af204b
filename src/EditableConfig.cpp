#include "EditableConfig.h"

#include <istream>

#include "ConfigFileAccess.h"

#include "QuickVerdict.h"

namespace Vantrel {

bool EditableConfig::reload(Config& record) {
  const std::string path = configfile();
  const int fd = ConfigFileAccess::open_checked(path);
  if (fd < 0) return false;
  ConfigFileAccess::DescriptorBuffer buffer(fd);
  std::istream in(&buffer);
  const bool parsed = record.parse(in, name(), logdir(), path);
  return parsed && !buffer.failed() && in.eof();
}

void EditableConfig::published() { QuickVerdict::refresh(); }

}  // namespace Vantrel

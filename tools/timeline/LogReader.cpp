#include "tools/timeline/LogReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Timeline {

bool probe_log(const std::string& path, LogProbe& probe, Diagnostics& diagnostics) {
  probe = LogProbe();
  probe.path = path;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    diagnostics.report(path, 0, std::string("cannot open: ") + std::strerror(errno));
    return false;
  }
  std::vector<char> head(1 << 16);
  std::size_t n = std::fread(head.data(), 1, head.size(), file);
  std::fclose(file);
  std::size_t at = 0;
  if (n >= 3 && std::memcmp(head.data(), "\xEF\xBB\xBF", 3) == 0) at = 3;
  while (at < n && std::strchr(" \t\r\n", head[at]) != nullptr) ++at;
  probe.format = at < n && head[at] == '<' ? Format::Xml : Format::Text;
  TimeParser times;
  for (std::size_t i = 0; i + 23 <= n; ++i) {
    if (times.parse(head.data() + i, probe.first_ms)) {
      probe.has_time = true;
      break;
    }
  }
  return true;
}

void read_log(const LogProbe& probe, RecordSink& sink, Diagnostics& diagnostics) {
  if (probe.format == Format::Xml)
    read_xml_log(probe.path, sink, diagnostics);
  else
    read_text_log(probe.path, sink, diagnostics);
  diagnostics.end_file(probe.path);
}

}  // namespace Timeline

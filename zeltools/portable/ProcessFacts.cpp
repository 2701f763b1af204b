#include "zeltools/portable/ProcessFacts.h"

#include <fcntl.h>
#include <limits.h>

#include "ZelTools/Portable.h"
#include "zeltools/portable/SystemCalls.h"

namespace ZelTools {
namespace Portable {
namespace Facts {

std::vector<std::string> split_command_line(std::string const& raw) {
  std::vector<std::string> args;
  std::string::size_type start = 0;
  while (start < raw.size()) {
    std::string::size_type end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    args.emplace_back(raw, start, end - start);
    start = end + 1;
  }
  return args;
}

bool read_whole_file(char const* path, std::string& content) {
  int fd = System::calls().open(path, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  // Files under /proc report a size of 0: read until the end instead.
  std::string text;
  char block[4096];
  ssize_t got;
  while ((got = System::read_retrying(fd, block, sizeof block)) > 0) {
    text.append(block, static_cast<std::size_t>(got));
  }
  System::calls().close(fd);
  if (got < 0) return false;
  content.swap(text);
  return true;
}

bool read_link(char const* path, std::string& target) {
  // The buffer grows when the target fills it, so a long path is not cut.
  std::string buffer(PATH_MAX, '\0');
  for (;;) {
    ssize_t got = System::calls().readlink(path, &buffer[0], buffer.size());
    if (got < 0) return false;
    if (static_cast<std::size_t>(got) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(got));
      target.swap(buffer);
      return true;
    }
    if (buffer.size() >= 1024 * 1024) return false;
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> read_arguments(char const* cmdline_file, char const* exe_link) {
  std::vector<std::string> args;
  std::string content;
  if (read_whole_file(cmdline_file, content)) {
    args = split_command_line(content);
  } else if (read_link(exe_link, content)) {
    args.push_back(content);
  }
  if (args.empty()) args.emplace_back();
  return args;
}

std::string name_from_argument(std::string const& first) {
  return Pathname(first).basename(".exe");
}

}  // namespace Facts
}  // namespace Portable
}  // namespace ZelTools

#include "tools/timeline/LogReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace Timeline {
namespace {

constexpr std::size_t head_size = 1 << 16;

bool starts_with(const char* at, const char* end, const char* prefix) {
  std::size_t length = std::strlen(prefix);
  return static_cast<std::size_t>(end - at) >= length && std::memcmp(at, prefix, length) == 0;
}

const char* skip_blanks(const char* at, const char* end) {
  while (at < end && std::strchr(" \t\r\n", *at) != nullptr) ++at;
  return at;
}

// The first element of an XML head, after the declaration and comments, is
// the log's root or, in a damaged file, one of its records.
bool is_xml_log(const char* at, const char* end) {
  for (at = skip_blanks(at, end); starts_with(at, end, "<?") || starts_with(at, end, "<!--");
       at = skip_blanks(at, end)) {
    const char* close = starts_with(at, end, "<?") ? "?>" : "-->";
    const char* found = std::search(at, end, close, close + std::strlen(close));
    if (found == end) return false;
    at = found + std::strlen(close);
  }
  for (const char* root : {"<Vantrel", "<Msg"})
    if (starts_with(at, end, root)) {
      const char* after = at + std::strlen(root);
      return after < end && std::strchr(" \t\r\n>/", *after) != nullptr;
    }
  return false;
}

// A line starting "YYYY/MM/DD HH:MM:SS.mmm[rank]|<level>|".
bool is_text_record_head(const char* at, const char* end) {
  if (end - at < 28 || !looks_like_time(at)) return false;
  at += 23;
  while (at < end && *at >= '0' && *at <= '9') ++at;
  return end - at >= 4 && at[0] == '|' && level_from_mark(at + 1, 2) >= 0 && at[3] == '|';
}

bool is_text_log(const char* at, const char* end) {
  for (const char* line = at; line < end;) {
    const char* newline =
        static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
    const char* line_end = newline ? newline : end;
    if (is_text_record_head(line, line_end)) return true;
    line = line_end + 1;
  }
  return false;
}

// Copies a stream into an unnamed temporary file, `head` first.
std::shared_ptr<std::FILE> spool(int fd, const std::vector<char>& head, std::size_t n) {
  std::shared_ptr<std::FILE> copy(std::tmpfile(), [](std::FILE* f) {
    if (f) std::fclose(f);
  });
  if (!copy || std::fwrite(head.data(), 1, n, copy.get()) != n) return nullptr;
  std::vector<char> block(1 << 20);
  for (ssize_t got; (got = ::read(fd, block.data(), block.size())) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return nullptr;
    if (std::fwrite(block.data(), 1, static_cast<std::size_t>(got), copy.get()) !=
        static_cast<std::size_t>(got))
      return nullptr;
  }
  std::rewind(copy.get());
  return copy;
}

// Reads up to `head.size()` bytes, whatever the stream hands out at a time.
std::size_t read_head(int fd, std::vector<char>& head) {
  std::size_t n = 0;
  while (n < head.size()) {
    ssize_t got = ::read(fd, head.data() + n, head.size() - n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    n += static_cast<std::size_t>(got);
  }
  return n;
}

int open_input(const std::string& path, struct stat& status, std::string& error) {
  int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    error = std::string("cannot open: ") + std::strerror(errno);
  } else if (S_ISDIR(status.st_mode)) {
    error = "cannot open: is a directory";
  } else {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

}  // namespace

ProbeResult probe_log(const std::string& path, LogProbe& probe, Diagnostics& diagnostics) {
  probe = LogProbe();
  probe.path = path;
  struct stat status;
  std::string error;
  int fd = open_input(path, status, error);
  if (fd < 0) {
    diagnostics.report(path, 0, error);
    return ProbeResult::Unreadable;
  }
  std::vector<char> head(head_size);
  std::size_t n = read_head(fd, head);
  const char* begin = head.data();
  const char* end = begin + n;
  if (starts_with(begin, end, "\xEF\xBB\xBF")) begin += 3;
  const char* first = skip_blanks(begin, end);
  probe.format = first < end && *first == '<' ? Format::Xml : Format::Text;
  if (probe.format == Format::Xml ? !is_xml_log(begin, end) : !is_text_log(begin, end)) {
    ::close(fd);
    diagnostics.report(path, 0, "not a Vantrel log; skipped");
    return ProbeResult::NotALog;
  }
  if (path == "-" || !S_ISREG(status.st_mode)) {
    probe.spool = spool(fd, head, n);
    if (!probe.spool) {
      ::close(fd);
      diagnostics.report(path, 0, std::string("cannot copy the stream: ") + std::strerror(errno));
      return ProbeResult::Unreadable;
    }
  }
  ::close(fd);
  TimeParser times;
  for (const char* at = begin; at + 23 <= end; ++at) {
    if (times.parse(at, probe.first_ms)) {
      probe.has_time = true;
      break;
    }
  }
  return ProbeResult::Log;
}

void read_log(const LogProbe& probe, RecordSink& sink, Diagnostics& diagnostics) {
  std::FILE* file = probe.spool ? probe.spool.get() : std::fopen(probe.path.c_str(), "rbe");
  if (!file) {
    diagnostics.report(probe.path, 0, std::string("cannot open: ") + std::strerror(errno));
  } else {
    if (probe.format == Format::Xml)
      read_xml_log(file, probe.path, sink, diagnostics);
    else
      read_text_log(file, probe.path, sink, diagnostics);
    if (!probe.spool) std::fclose(file);
  }
  diagnostics.end_file(probe.path);
}

}  // namespace Timeline

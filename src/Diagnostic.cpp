#include "Diagnostic.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

namespace Vantrel {
namespace Diagnostic {

namespace {

// The keys already reported. Guarded by seen_mutex.
std::mutex seen_mutex;
std::set<std::string>& seen_keys() {
  static auto* keys = new std::set<std::string>;  // never destroyed: used by late destructors
  return *keys;
}

}  // namespace

void write_line(std::string_view text) noexcept {
  const int saved_errno = errno;
  try {
    std::string line;
    line.reserve(text.size() + 10);
    line.append("vantrel: ").append(text).push_back('\n');
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
      const ssize_t n = ::write(STDERR_FILENO, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      data += n;
      left -= static_cast<size_t>(n);
    }
  } catch (...) {
    // Out of memory while reporting: nothing more can be said.
  }
  errno = saved_errno;
}

bool first_time(const std::string& key) noexcept {
  try {
    std::lock_guard<std::mutex> lock(seen_mutex);
    return seen_keys().insert(key).second;
  } catch (...) {
    return false;
  }
}

void forget(const std::string& key) noexcept {
  std::lock_guard<std::mutex> lock(seen_mutex);
  seen_keys().erase(key);
}

void forget_all() noexcept {
  std::lock_guard<std::mutex> lock(seen_mutex);
  seen_keys().clear();
}

void before_fork() noexcept { seen_mutex.lock(); }

void after_fork() noexcept { seen_mutex.unlock(); }

}  // namespace Diagnostic
}  // namespace Vantrel

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "ZelTools/Portable.h"

namespace ZelTools {
namespace Portable {
namespace {

// The whole formatted text is longer than the buffer: format it elsewhere
// and keep its first size characters, without a terminator.
int store_truncated(char* buffer, unsigned int size, std::size_t length, char const* format,
                    va_list args) {
  try {
    std::vector<char> whole(length + 1);
    std::vsnprintf(whole.data(), whole.size(), format, args);
    std::memcpy(buffer, whole.data(), size);
    return length == size ? static_cast<int>(size) : -1;
  } catch (std::bad_alloc const&) {
    // Out of memory: the first size - 1 characters are the best on offer.
    std::vsnprintf(buffer, size, format, args);
    return -1;
  }
}

}  // namespace

int getpid() { return ::getpid(); }

std::string& getenv(std::string const& name, std::string& value) {
  if (char const* text = std::getenv(name.c_str())) value = text;
  return value;
}

std::string getenv(std::string const& name, std::string const& default_value) {
  std::string value(default_value);
  return getenv(name, value);
}

int vsnprintf(char* buffer, unsigned int size, char const* format, va_list args) {
  if (format == nullptr) return -1;
  va_list measuring;
  va_copy(measuring, args);
  int measured = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (measured < 0) return -1;
  std::size_t length = static_cast<std::size_t>(measured);
  if (buffer == nullptr || size == 0) return length == 0 && size == 0 ? 0 : -1;
  if (length < size) return std::vsnprintf(buffer, size, format, args);
  return store_truncated(buffer, size, length, format, args);
}

}  // namespace Portable
}  // namespace ZelTools

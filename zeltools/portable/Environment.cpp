#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "ZelTools/Portable.h"
#include "zeltools/portable/FastFormat.h"

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

// No buffer to write: only an empty text into no room at all succeeds.
int measure_only(unsigned int size, char const* format, va_list args) {
  std::size_t length = 0;
  if (!format_fast(nullptr, 0, format, args, length)) {
    int measured = std::vsnprintf(nullptr, 0, format, args);
    if (measured < 0) return -1;
    length = static_cast<std::size_t>(measured);
  }
  return length == 0 && size == 0 ? 0 : -1;
}

// The fast formatter stored the first size characters and no terminator.
int finish_fast(char* buffer, unsigned int size, std::size_t length) {
  if (length < size) {
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
  return length == size ? static_cast<int>(size) : -1;
}

// One pass in the common case; the rare text that does not fit is formatted
// again from a copy of the arguments, for its exact truncation.
int format_by_library(char* buffer, unsigned int size, char const* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int result = std::vsnprintf(buffer, size, format, args);
  if (result < 0) {
    result = -1;
  } else if (static_cast<unsigned int>(result) >= size) {
    const std::size_t length = static_cast<std::size_t>(result);
    result =
        size == 0 ? (length == 0 ? 0 : -1) : store_truncated(buffer, size, length, format, again);
  }
  va_end(again);
  return result;
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
  if (buffer == nullptr) return measure_only(size, format, args);
  std::size_t length = 0;
  if (format_fast(buffer, size, format, args, length)) return finish_fast(buffer, size, length);
  return format_by_library(buffer, size, format, args);
}

}  // namespace Portable
}  // namespace ZelTools

// Helpers of the log-file tests: a scratch directory, a test clock, a child.
#ifndef VANTREL_TESTS_LOGFILE_SUPPORT_H
#define VANTREL_TESTS_LOGFILE_SUPPORT_H

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "simpletime/Internal.h"

namespace logfile_support {

// While it lives, the library's clock reads now_ms (milliseconds since 1970),
// moved only by the test while no other thread reads it. One at a time.
struct TestClock {
  explicit TestClock(long long ms = 1700000000000LL) {
    now_ms = ms;
    SimpleTime::Internal::Sys::clock_gettime = read;
  }
  ~TestClock() { SimpleTime::Internal::Sys::clock_gettime = ::clock_gettime; }
  static void set(long long ms) { now_ms = ms; }
  static void advance(long long ms) { now_ms += ms; }
  static int read(clockid_t, timespec* reading) {
    reading->tv_sec = static_cast<time_t>(now_ms / 1000);
    reading->tv_nsec = static_cast<long>(now_ms % 1000) * 1000000L;
    return 0;
  }
  static inline long long now_ms = 0;
};

// A fresh directory, removed with its files at the end.
struct TempDir {
  std::string path;
  TempDir() : path(make()) {}
  ~TempDir() {
    std::error_code ignored;  // a test may leave a directory it made unreadable
    std::filesystem::remove_all(path, ignored);
  }
  static std::string make() {
    std::string pattern = "/tmp/vantrel_logfile_XXXXXX";
    if (!::mkdtemp(pattern.data()))
      throw std::runtime_error("cannot make a directory under /tmp: " +
                               std::string(std::strerror(errno)));
    return pattern;
  }
  // The file names, sorted (so in the order of their time stamps).
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
      while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> lines(const std::string& file) const {
    std::ifstream in(path + "/" + file);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
  // The message texts (after the last '|') of a file's records.
  std::vector<std::string> texts(const std::string& file) const {
    std::vector<std::string> result = lines(file);
    for (std::string& line : result) line = line.substr(line.rfind('|') + 1);
    return result;
  }
  std::vector<std::vector<std::string>> texts_per_file() const {
    std::vector<std::vector<std::string>> result;
    for (const std::string& file : files()) result.push_back(texts(file));
    return result;
  }
  std::vector<std::string> all_texts() const {  // file after file
    std::vector<std::string> result;
    for (const std::string& file : files())
      for (const std::string& text : texts(file)) result.push_back(text);
    return result;
  }
};

// Runs a shell command; returns its standard output and sets its status.
inline std::string run(const std::string& command, int* status) {
  FILE* child = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  for (std::size_t n; child && (n = std::fread(buffer, 1, sizeof buffer, child)) > 0;)
    output.append(buffer, n);
  *status = child ? ::pclose(child) : -1;
  return output;
}

// The whole file, "" when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::size_t occurrences(const std::string& output, const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1))
    ++count;
  return count;
}

}  // namespace logfile_support

#endif  // VANTREL_TESTS_LOGFILE_SUPPORT_H

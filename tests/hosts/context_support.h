// Helpers shared by the execution-context tests and their host programs:
// a private temporary directory and reading the records of the text logs in
// it.
#ifndef VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H
#define VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace context_support {

// A fresh directory under /tmp, removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/vantrel_context_XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
  }
  ~TempDir() {
    for (const std::string& name : list(path_)) unlink((path_ + "/" + name).c_str());
    rmdir(path_.c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

  // The names of the files in `dir`, sorted.
  static std::vector<std::string> list(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
      while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

inline bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every line of the text logs in `dir` whose file name contains `device`
// (files in name order, so in creation order for one destination).
inline std::vector<std::string> log_lines(const std::string& dir, const std::string& device) {
  std::vector<std::string> lines;
  for (const std::string& name : TempDir::list(dir)) {
    if (!ends_with(name, ".log") || !contains(name, "_" + device + "_")) continue;
    std::ifstream in(dir + "/" + name);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

// The message text of a record: what follows the 21st '|' (the seven head
// fields and the fourteen columns).
inline std::string message_of(const std::string& line) {
  std::size_t pos = 0;
  for (int bar = 0; bar < 21; ++bar) {
    pos = line.find('|', pos);
    if (pos == std::string::npos) return "";
    ++pos;
  }
  return line.substr(pos);
}

// The field between the n-th and the (n+1)-th '|' (n from 0; field 0 is the time).
inline std::string field_of(const std::string& line, int n) {
  std::size_t begin = 0;
  for (int bar = 0; bar < n; ++bar) {
    begin = line.find('|', begin);
    if (begin == std::string::npos) return "";
    ++begin;
  }
  const std::size_t end = line.find('|', begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The messages of all records in the logs of `device`.
inline std::vector<std::string> messages(const std::string& dir, const std::string& device) {
  std::vector<std::string> texts;
  for (const std::string& line : log_lines(dir, device)) texts.push_back(message_of(line));
  return texts;
}

}  // namespace context_support

#endif  // VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H

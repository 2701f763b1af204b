// Case tables kept as text beside the tests: one case a line, fields split at
// '|' with the blanks around them trimmed; blank lines and '#' lines skipped.
// In a field, \n \t \r \0 \\ and \xNN stand for their bytes (\x7c for '|').
// Including it brings std::string and std::vector, the types of its rows.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace cases {

using Fields = std::vector<std::string>;

inline std::string unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x') {
      bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
      continue;
    }
    bytes += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
  }
  return bytes;
}

inline std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// The cases of tests/<name>; a missing or empty file is an error, so that a
// table can never pass by having no rows.
inline std::vector<Fields> read(const std::string& name) {
  std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/tests/" + name);
  std::vector<Fields> rows;
  for (std::string line; std::getline(in, line);) {
    if (trimmed(line).empty() || line[0] == '#') continue;
    Fields fields;
    for (std::size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 1) {
      bar = line.find('|', at);
      fields.push_back(unescape(trimmed(line.substr(at, bar - at))));
    }
    rows.push_back(fields);
  }
  if (rows.empty()) throw std::runtime_error("no cases in tests/" + name);
  return rows;
}

}  // namespace cases

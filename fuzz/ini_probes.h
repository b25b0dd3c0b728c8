// Section and key names found in INI text by a deliberately naive scan, used
// as lookups to compare two versions of a file. The scan need not agree with
// the plugin's parser: every probe is asked of the parser on both sides, so a
// probe that names nothing is merely a wasted question.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace korvanel::fuzz {

using Probe = std::pair<std::string, std::string>;  // section, key

inline std::string trimmed(const std::string& s) {
  const char* blanks = " \t\r\v\f";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

inline std::vector<Probe> findProbes(const std::string& text, size_t limit) {
  std::vector<Probe> probes;
  std::string section;
  size_t p = 0;
  while (p < text.size() && probes.size() < limit) {
    size_t end = text.find_first_of(std::string("\n\0", 2), p);
    if (end == std::string::npos) end = text.size();
    std::string line = trimmed(text.substr(p, end - p));
    p = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close != std::string::npos) section = trimmed(line.substr(1, close - 1));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = trimmed(line.substr(0, eq));
    if (!key.empty() && key.find('\0') == std::string::npos &&
        section.find('\0') == std::string::npos) {
      probes.emplace_back(section, key);
    }
  }
  return probes;
}

}  // namespace korvanel::fuzz

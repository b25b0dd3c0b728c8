// Widths by code point ranges: enough for names and the screen's own marks,
// without a full Unicode width table.
#include "tools/monitor/text_columns.h"

#include <cstdint>
#include <vector>

namespace korvanel::tools {
namespace {

struct Character {
  size_t start;
  size_t length;
  int columns;
};

int columnsOfCodePoint(uint32_t c) {
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) ||
      (c >= 0xFE00 && c <= 0xFE0F)) {
    return 0;
  }
  bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
              (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
              (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
              (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
              (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

// REQUIRES: `text` is well-formed UTF-8 (a stray byte counts as one column).
std::vector<Character> charactersOf(const std::string& text) {
  std::vector<Character> out;
  for (size_t i = 0; i < text.size();) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(k < text.size() ? text[k] : 0); };
    unsigned char lead = byte(i);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    uint32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
    if (i + length > text.size()) length = text.size() - i;
    out.push_back({i, length, columnsOfCodePoint(c)});
    i += length;
  }
  return out;
}

// The longest start of `text` that takes at most `columns` columns.
std::string cutTo(const std::string& text, int columns, int& used) {
  used = 0;
  size_t end = 0;
  for (const Character& c : charactersOf(text)) {
    if (used + c.columns > columns) break;
    used += c.columns;
    end = c.start + c.length;
  }
  return text.substr(0, end);
}

}  // namespace

int columnsOf(const std::string& text) {
  int columns = 0;
  for (const Character& c : charactersOf(text)) columns += c.columns;
  return columns;
}

std::string fitColumns(const std::string& text, int columns, bool right) {
  if (columns <= 0) return {};
  int used = 0;
  std::string fitted;
  if (columnsOf(text) <= columns) {
    fitted = text;
    used = columnsOf(text);
  } else {
    fitted = cutTo(text, columns - 1, used) + "\xe2\x80\xa6";
    ++used;
  }
  std::string padding(static_cast<size_t>(columns - used), ' ');
  return right ? padding + fitted : fitted + padding;
}

std::string cutColumns(const std::string& text, int columns) {
  if (columnsOf(text) <= columns) return text;
  std::string cut = fitColumns(text, columns);
  return cut.substr(0, cut.find_last_not_of(' ') + 1);
}

std::string shortName(const std::string& name, int columns) {
  if (columnsOf(name) <= columns) return name;
  size_t last = name.find_last_of(' ');
  if (last != std::string::npos && last + 1 < name.size()) {
    std::string initials;
    size_t word = 0;
    while (word < last) {
      size_t space = name.find(' ', word);
      if (space > word) {
        int used = 0;
        initials += cutTo(name.substr(word, space - word), 1, used) + ". ";
      }
      word = space + 1;
    }
    std::string shorter = initials + name.substr(last + 1);
    if (columnsOf(shorter) <= columns) return shorter;
  }
  return cutColumns(name, columns);
}

}  // namespace korvanel::tools

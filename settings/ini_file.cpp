// INI reading and writing.
#include "settings/ini_file.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "text/ascii_text.h"

namespace korvanel {
namespace {

std::string_view trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, const char* name) {
  return std::equal(a.begin(), a.end(), name, name + std::strlen(name),
                    [](char x, char y) { return foldCase(x) == foldCase(y); });
}

enum class LineKind { kOther, kSection, kKey };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;
};

ParsedLine parseLine(std::string_view text) {
  text = trim(text);
  if (text.empty() || text[0] == ';') return {};
  if (text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return {};
    return {LineKind::kSection, trim(text.substr(1, close - 1)), {}};
  }
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view value = trim(text.substr(eq + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return {LineKind::kKey, trim(text.substr(0, eq)), value};
}

// Where `key` of the first section named `section` lies in `text`.
struct KeyPlace {
  bool sectionFound = false;
  bool keyFound = false;
  size_t lineBegin = 0;  // the key's line, without its line end
  size_t lineEnd = 0;
  std::string_view value;  // the key's value
  size_t insertAt = 0;     // without the key: after the section's last non-blank line
};

KeyPlace locate(const std::string& text, const char* section, const char* key) {
  KeyPlace place;
  bool inSection = false;
  // A UTF-8 byte order mark is skipped; a NUL byte ends a line, as for the
  // file reader (a damaged file may hold runs of them).
  size_t p = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (p < text.size()) {
    size_t lineEnd = p;
    while (lineEnd < text.size() && text[lineEnd] != '\n' && text[lineEnd] != '\0') ++lineEnd;
    size_t next = std::min(lineEnd + 1, text.size());
    std::string_view raw(text.data() + p, lineEnd - p);
    ParsedLine line = parseLine(raw);
    if (line.kind == LineKind::kSection) {
      if (inSection) break;  // only the first section of the name is used
      inSection = place.sectionFound = sameName(line.name, section);
      place.insertAt = next;
    } else if (inSection) {
      if (line.kind == LineKind::kKey && sameName(line.name, key)) {
        place.keyFound = true;
        place.lineBegin = p;
        place.lineEnd = lineEnd;
        place.value = line.value;
        return place;
      }
      if (!trim(raw).empty()) place.insertAt = next;
    }
    p = next;
  }
  return place;
}

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += static_cast<char>(kLead[more] | (c >> (6 * more)));
  while (more-- > 0) out += static_cast<char>(0x80 | ((c >> (6 * more)) & 0x3F));
}

// UTF-16 text after its byte order mark, as UTF-8. A lone surrogate
// becomes U+FFFD; an odd last byte is dropped.
std::string utf16ToUtf8(const std::string& bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    uint32_t b0 = static_cast<unsigned char>(bytes[i]);
    uint32_t b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0;
  };
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
  }
  return out;
}

}  // namespace

bool findIniValue(const std::string& text, const char* section, const char* key, char* out,
                  size_t outSize) {
  KeyPlace place = locate(text, section, key);
  if (place.keyFound && outSize > 0) {
    size_t len = std::min({place.value.size(), kMaxIniValue, outSize - 1});
    place.value.copy(out, len);
    out[len] = 0;
  }
  return place.keyFound;
}

FileRead readIniFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode) {
  return platform::readFile(path, maxSize, out, errorCode);
}

void decodeUtf16(std::string& text) {
  if (text.compare(0, 2, "\xFF\xFE") == 0) {
    text = utf16ToUtf8(text, false);
  } else if (text.compare(0, 2, "\xFE\xFF") == 0) {
    text = utf16ToUtf8(text, true);
  }
}

bool readIniText(const char* path, std::string& out) {
  int32_t code;
  FileRead result = readIniFile(path, kMaxIniFileSize, out, code);
  return result == FileRead::kRead || result == FileRead::kMissing;
}

std::string withIniValue(const std::string& text, const char* section, const char* key,
                         const char* value) {
  // Keep the file's own line end.
  const char* eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string keyLine = std::string(key) + "=" + value;
  KeyPlace place = locate(text, section, key);
  if (place.keyFound) {
    size_t contentEnd = place.lineEnd;
    if (contentEnd > place.lineBegin && text[contentEnd - 1] == '\r') --contentEnd;
    return text.substr(0, place.lineBegin) + keyLine + text.substr(contentEnd);
  }
  if (!place.sectionFound) {
    place.insertAt = text.size();
    keyLine = "[" + std::string(section) + "]" + eol + keyLine;
  }
  std::string before = text.substr(0, place.insertAt);
  if (!before.empty() && before.back() != '\n') before += eol;
  return before + keyLine + eol + text.substr(place.insertAt);
}

}  // namespace korvanel

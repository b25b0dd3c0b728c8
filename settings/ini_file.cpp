// INI reading and writing.
#include "settings/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text/ascii_text.h"

namespace korvanel {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// [begin, end) trimmed of blanks.
void trimRange(const char*& begin, const char*& end) {
  while (begin < end && isBlank(*begin)) ++begin;
  while (end > begin && isBlank(end[-1])) --end;
}

bool equalsIgnoreCase(const char* begin, const char* end, const char* name) {
  size_t len = static_cast<size_t>(end - begin);
  return std::strlen(name) == len && compareIgnoreCase(begin, name, len) == 0;
}

enum class LineKind { kOther, kSection, kKey };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  const char* nameBegin = nullptr;
  const char* nameEnd = nullptr;
  const char* valueBegin = nullptr;
  const char* valueEnd = nullptr;
};

ParsedLine parseLine(const char* begin, const char* end) {
  ParsedLine line;
  trimRange(begin, end);
  if (begin == end || *begin == ';') return line;
  if (*begin == '[') {
    const char* close = static_cast<const char*>(std::memchr(begin, ']', end - begin));
    if (!close) return line;
    line.kind = LineKind::kSection;
    line.nameBegin = begin + 1;
    line.nameEnd = close;
    trimRange(line.nameBegin, line.nameEnd);
    return line;
  }
  const char* eq = static_cast<const char*>(std::memchr(begin, '=', end - begin));
  if (!eq) return line;
  line.kind = LineKind::kKey;
  line.nameBegin = begin;
  line.nameEnd = eq;
  trimRange(line.nameBegin, line.nameEnd);
  line.valueBegin = eq + 1;
  line.valueEnd = end;
  trimRange(line.valueBegin, line.valueEnd);
  if (line.valueEnd - line.valueBegin >= 2 &&
      (*line.valueBegin == '"' || *line.valueBegin == '\'') &&
      line.valueEnd[-1] == *line.valueBegin) {
    ++line.valueBegin;
    --line.valueEnd;
  }
  return line;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = 3;

// Length of a UTF-8 byte order mark at the start of `text`, or 0.
size_t byteOrderMarkLength(const char* text, size_t size) {
  return (size >= kByteOrderMarkSize && std::memcmp(text, kByteOrderMark, kByteOrderMarkSize) == 0)
             ? kByteOrderMarkSize
             : 0;
}

// The end of the line starting at `p`: a line feed or, as for the file
// reader, a NUL byte (a damaged file may hold runs of them). Null at `end`.
const char* findLineEnd(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == '\n' || *p == '\0') return p;
  }
  return nullptr;
}

void copyValue(const ParsedLine& line, char* out, size_t outSize) {
  if (outSize == 0) return;
  size_t len = static_cast<size_t>(line.valueEnd - line.valueBegin);
  if (len > kMaxIniValue) len = kMaxIniValue;
  if (len > outSize - 1) len = outSize - 1;
  std::memcpy(out, line.valueBegin, len);
  out[len] = 0;
}

// Feeds lines to a matcher; shared by the file and the in-memory lookups.
class KeyMatcher {
 public:
  KeyMatcher(const char* section, const char* key) : section_(section), key_(key) {}

  // Returns true when this line settles the lookup (`found` says how).
  bool feed(const char* begin, const char* end, char* out, size_t outSize) {
    ParsedLine line = parseLine(begin, end);
    if (line.kind == LineKind::kSection) {
      if (inSection_) return true;  // the first section of the name has ended
      inSection_ = equalsIgnoreCase(line.nameBegin, line.nameEnd, section_);
    } else if (line.kind == LineKind::kKey && inSection_ &&
               equalsIgnoreCase(line.nameBegin, line.nameEnd, key_)) {
      copyValue(line, out, outSize);
      found_ = true;
      return true;
    }
    return false;
  }
  bool found() const { return found_; }

 private:
  const char* section_;
  const char* key_;
  bool inSection_ = false;
  bool found_ = false;
};

}  // namespace

bool readIniValue(const char* path, const char* section, const char* key, char* out,
                  size_t outSize) {
  // Through the same parser as the writer: a reader that saw a long line
  // differently (cut to a buffer) would read a default where the writer
  // finds the key, and an odometer total would go back to 0.
  std::string text;
  if (!readIniText(path, text)) return false;
  return findIniValue(text, section, key, out, outSize);
}

bool findIniValue(const std::string& text, const char* section, const char* key, char* out,
                  size_t outSize) {
  KeyMatcher matcher(section, key);
  const char* p = text.data();
  const char* end = p + text.size();
  p += byteOrderMarkLength(p, text.size());
  while (p < end) {
    const char* nl = findLineEnd(p, end);
    const char* lineEnd = nl ? nl : end;
    if (matcher.feed(p, lineEnd, out, outSize)) break;
    p = nl ? nl + 1 : end;
  }
  return matcher.found();
}

namespace {

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 text after its byte order mark, as UTF-8. A lone surrogate
// becomes U+FFFD; an odd last byte is dropped.
std::string utf16ToUtf8(const std::string& bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? static_cast<uint32_t>((b0 << 8) | b1)
                     : static_cast<uint32_t>((b1 << 8) | b0);
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

FileRead readIniFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode) {
  return platform::readFile(path, maxSize, out, errorCode);
}

void decodeUtf16(std::string& text) {
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    text = utf16ToUtf8(text, false);
  } else if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFE &&
             static_cast<unsigned char>(text[1]) == 0xFF) {
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

  const char* base = text.data();
  const char* p = base + byteOrderMarkLength(base, text.size());
  const char* end = base + text.size();
  bool inSection = false;
  bool sectionSeen = false;
  size_t insertAt = std::string::npos;  // end of the section's last non-blank line
  while (p < end) {
    const char* nl = findLineEnd(p, end);
    const char* lineEnd = nl ? nl : end;
    const char* next = nl ? nl + 1 : end;
    ParsedLine line = parseLine(p, lineEnd);
    if (line.kind == LineKind::kSection) {
      if (inSection) break;  // only the first section of the name is used
      inSection = equalsIgnoreCase(line.nameBegin, line.nameEnd, section);
      if (inSection) {
        sectionSeen = true;
        insertAt = static_cast<size_t>(next - base);
      }
    } else if (inSection) {
      if (line.kind == LineKind::kKey && equalsIgnoreCase(line.nameBegin, line.nameEnd, key)) {
        const char* contentEnd = lineEnd;
        if (contentEnd > p && contentEnd[-1] == '\r') --contentEnd;
        return text.substr(0, p - base) + keyLine +
               text.substr(static_cast<size_t>(contentEnd - base));
      }
      const char* b = p;
      const char* e = lineEnd;
      trimRange(b, e);
      if (b != e) insertAt = static_cast<size_t>(next - base);
    }
    p = next;
  }
  if (sectionSeen) {
    std::string before = text.substr(0, insertAt);
    if (!before.empty() && before.back() != '\n') before += eol;
    return before + keyLine + eol + text.substr(insertAt);
  }
  std::string result = text;
  if (!result.empty() && result.back() != '\n') result += eol;
  result += "[" + std::string(section) + "]" + eol + keyLine + eol;
  return result;
}

}  // namespace korvanel

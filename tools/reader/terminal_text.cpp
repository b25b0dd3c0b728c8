// One pass over the bytes, taking whole UTF-8 sequences or one '?' each.
#include "tools/reader/terminal_text.h"

namespace korvanel::tools {
namespace {

// Length of the well-formed UTF-8 sequence at text[i] (shortest form, no
// surrogates, at most U+10FFFF), or 0.
size_t sequenceLength(const std::string& text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (lead < 0xC2 || lead > 0xF4 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  unsigned char second = byte(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string terminalText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    size_t length = sequenceLength(text, i);
    // U+0080 to U+009F are C2 80 to C2 9F.
    if (length == 0 || (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      out += '?';
      i += length == 0 ? 1 : length;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

}  // namespace korvanel::tools

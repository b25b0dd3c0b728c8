// Text helpers that behave the same everywhere: ASCII-only case folding, as
// the "C" locale does, and bounded copies that always terminate.
#pragma once

#include <cstddef>

namespace korvanel {

inline char foldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char upperCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whole NUL-terminated strings, ignoring ASCII case; like _stricmp.
inline bool equalsIgnoreCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (foldCase(*a) != foldCase(*b)) return false;
    if (*a == 0) return true;
  }
}

// Copies at most `fieldSize - 1` characters of `source` (which need not be
// terminated) and fills the rest of the field with zero bytes.
inline void copyBounded(char* field, size_t fieldSize, const char* source) {
  size_t i = 0;
  if (source) {
    for (; i + 1 < fieldSize && source[i]; ++i) field[i] = source[i];
  }
  for (; i < fieldSize; ++i) field[i] = 0;
}

}  // namespace korvanel

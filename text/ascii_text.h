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

// Compares at most `n` characters, ignoring ASCII case; like strncasecmp.
inline int compareIgnoreCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(foldCase(a[i]));
    unsigned char cb = static_cast<unsigned char>(foldCase(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

// Whole NUL-terminated strings, ignoring ASCII case; like _stricmp.
inline bool equalsIgnoreCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (foldCase(*a) != foldCase(*b)) return false;
    if (*a == 0) return true;
  }
}

// Copies at most `fieldSize - 1` characters of `source` (which need not be
// terminated within `fieldSize`) and terminates; the rest of the field is
// filled with zero bytes.
inline void copyBounded(char* field, size_t fieldSize, const char* source) {
  size_t i = 0;
  if (source) {
    for (; i + 1 < fieldSize && source[i]; ++i) field[i] = source[i];
  }
  for (; i < fieldSize; ++i) field[i] = 0;
}

}  // namespace korvanel

// Our own reader and writer of INI text, the same on every platform.
// A line "[name]" opens a section; "key=value" gives a key its value. Section
// and key names match without regard to case; blanks around names and values
// are not part of them; a value in matching quotes loses the quotes. Lines
// starting with ';' or '#' are comments. The first occurrence of a key in the
// first section of that name counts.
#pragma once

#include <cstddef>
#include <string>

namespace korvanel {

// Longest value a reader returns; longer values are cut.
constexpr size_t kMaxIniValue = 259;

// Looks `key` up in `section` of the file at native path `path`, streaming it
// with bounded memory. Returns false when the file, section or key is
// missing; otherwise copies the value (at most kMaxIniValue characters) into
// `out`, always terminated.
bool readIniValue(const char* path, const char* section, const char* key,
                  char* out, size_t outSize);

// The same lookup in INI text held in memory.
bool findIniValue(const std::string& text, const char* section, const char* key,
                  char* out, size_t outSize);

// Returns `text` with `key` of `section` set to `value`: an existing key's
// value is replaced in its line, a missing key is added at the end of its
// section, a missing section is added at the end. Every other line, comment
// and key order is kept.
std::string withIniValue(const std::string& text, const char* section,
                         const char* key, const char* value);

}  // namespace korvanel

// The profile helpers the configuration and the odometer read and write
// their files with. Paths are the plugin's host paths ("Plugins\\...").
// Numbers are written and read with '.' as the decimal point whatever the
// C locale of the process says, so a host that switches its locale neither
// writes "1234,500000" nor reads "1234.500000" as 1234.
#pragma once

#include <cstddef>

namespace korvanel {

// Size of the buffer a read value arrives in: at most 259 characters.
constexpr size_t kProfileBufferSize = 261;

// Copies the value of [section] key into `out` (zero-filled first), or
// `defaultText` when the file, the section or the key is missing.
void readProfileString(const char* path, const char* section, const char* key,
                       const char* defaultText, char* out, size_t outSize);

// The value converted as atof does (the longest leading decimal number, 0
// when there is none), narrowed to float.
float readProfileFloat(const char* path, const char* section, const char* key,
                       float defaultValue);

// The same in double precision, for values that must not lose digits. A
// number too large for a double comes back infinite, as from atof.
double readProfileDouble(const char* path, const char* section, const char* key,
                         double defaultValue);

// The longest leading decimal number of `text` (after blanks: an optional
// sign, digits with at most one '.', an optional exponent), 0 when there is
// none. Hexadecimal forms, "inf" and "nan" are not decimal numbers.
double parseProfileNumber(const char* text);

// Formats `value` the way writeProfileFloat stores it: "%f", six decimals.
// Returns false, leaving `out` empty, for a value that is not finite or whose
// text would be longer than a reader takes back (259 characters).
bool formatProfileFloat(double value, char* out, size_t outSize);

// Sets [section] key to `value` in "%f" form (six decimals), creating the
// file, the section and the key when missing. The file is replaced in one
// step, so it is never left half written. Returns false when it could not be
// written or `value` cannot be stored (formatProfileFloat); the old file then
// stays as it was.
bool writeProfileFloat(const char* path, const char* section, const char* key,
                       double value);

// Sets [section] key to `value`, with the same guarantees.
bool writeProfileString(const char* path, const char* section, const char* key,
                        const char* value);

// One key for writeProfileStrings.
struct ProfileEntry {
  const char* section;
  const char* key;
  const char* value;
};

// Sets every entry in ONE replacement of the file, so that a reader, or a
// crash part way, sees either all of the new values or none of them. Every
// other line of the file is kept. Returns false and leaves the file as it
// was when the file exists but cannot be read, cannot be written, or an entry
// could not stand in INI text unchanged: a line break anywhere, an empty
// name, blanks around a name, ']' in a section name, '=' in a key, or a key
// starting with '[' or ';'.
bool writeProfileStrings(const char* path, const ProfileEntry* entries, size_t count);

}  // namespace korvanel

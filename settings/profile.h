// The profile helpers the configuration and the odometer read and write
// their files with. Paths are the plugin's host paths ("Plugins\\...").
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

// The same in double precision, for values that must not lose digits.
double readProfileDouble(const char* path, const char* section, const char* key,
                         double defaultValue);

// Sets [section] key to `value` in "%f" form (six decimals), creating the
// file, the section and the key when missing. The file is replaced in one
// step, so it is never left half written. Returns false when it could not be
// written; the old file then stays as it was.
bool writeProfileFloat(const char* path, const char* section, const char* key,
                       double value);

// Sets [section] key to `value`, with the same guarantees.
bool writeProfileString(const char* path, const char* section, const char* key,
                        const char* value);

}  // namespace korvanel

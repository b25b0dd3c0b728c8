// Our own reader and writer of INI text, the same on every platform.
// A line "[name]" opens a section; "key=value" gives a key its value. Section
// and key names match without regard to case; blanks around names and values
// are not part of them; a value in matching quotes loses the quotes. Lines
// starting with ';' are comments. A line starting with '#' is an ordinary
// line: vehicle names such as "#24 GT" are keys of the odometer file. A UTF-8
// byte order mark at the start of the text is skipped (and kept on writing);
// a NUL byte ends a line as a line feed does.
// The first occurrence of a key in the first section of that name counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace korvanel {

// Longest value a reader returns; longer values are cut.
constexpr size_t kMaxIniValue = 259;

// Looks `key` up in `section` of INI text. Returns false when the section or
// key is missing; otherwise copies the value (at most kMaxIniValue
// characters) into `out`, always terminated.
bool findIniValue(const std::string& text, const char* section, const char* key, char* out,
                  size_t outSize);

// Largest file readIniText reads: a longer one is refused unread, so that a
// damaged or foreign file can neither exhaust the host's memory nor stall it.
constexpr size_t kMaxIniFileSize = 8u << 20;

// How reading a whole file went (kRead, kMissing, kTooLarge, kFailed).
using FileRead = platform::FileRead;

// platform::readFile: the whole regular file at native path `path`, byte for
// byte, when it holds at most `maxSize` bytes.
FileRead readIniFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode);

// Turns text in UTF-16 with its byte order mark (either byte order) into
// UTF-8; any other text stays as it is. For files a person edits (the
// configuration), not for files the plugin rewrites: a rewrite of decoded
// bytes would change every other line of a file that only looked like UTF-16.
void decodeUtf16(std::string& text);

// Reads the whole file at native path `path` into `out` (up to
// kMaxIniFileSize). A missing file gives empty text and true; a file that
// exists but cannot be read whole, or is too large, gives false, so that a
// writer never mistakes an unreadable file for an empty one.
bool readIniText(const char* path, std::string& out);

// Returns `text` with `key` of `section` set to `value`: an existing key's
// value is replaced in its line, a missing key is added at the end of its
// section, a missing section is added at the end. Every other line, comment
// and key order is kept.
std::string withIniValue(const std::string& text, const char* section, const char* key,
                         const char* value);

}  // namespace korvanel

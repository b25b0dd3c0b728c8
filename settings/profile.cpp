// Profile reading and writing on top of our INI reader and writer.
#include "settings/profile.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "settings/ini_file.h"

namespace korvanel {
namespace {

constexpr size_t kMaxPath = 1024;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The C library's decimal point in the current locale ("." in the "C" one).
const char* localePoint() {
  const std::lconv* conv = std::localeconv();
  return (conv && conv->decimal_point && conv->decimal_point[0]) ? conv->decimal_point : ".";
}

// "%f" of `value` with '.' as the decimal point. Returns the length of the
// full text (which may exceed what fitted), or -1.
int formatFixed(double value, char* out, size_t outSize) {
  int n = std::snprintf(out, outSize, "%f", value);
  const char* point = localePoint();
  if (n < 0 || std::strcmp(point, ".") == 0) return n;
  if (char* at = std::strstr(out, point)) {
    size_t pointLen = std::strlen(point);
    *at = '.';
    std::memmove(at + 1, at + pointLen, std::strlen(at + pointLen) + 1);
    n -= static_cast<int>(pointLen - 1);
  }
  return n;
}

bool hasLineBreak(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

bool cleanName(const char* name) {
  size_t len = std::strlen(name);
  return len > 0 && !isBlank(name[0]) && !isBlank(name[len - 1]) && !hasLineBreak(name);
}

// Whether the entry comes back unchanged through our reader; anything else
// would be written on every save and never found again.
bool storable(const ProfileEntry& e) {
  if (!e.section || !e.key || !e.value) return false;
  if (!cleanName(e.section) || std::strchr(e.section, ']')) return false;
  if (!cleanName(e.key) || std::strchr(e.key, '=') || e.key[0] == '[' || e.key[0] == ';') {
    return false;
  }
  return !hasLineBreak(e.value);
}

}  // namespace

void readProfileString(const char* path, const char* section, const char* key,
                       const char* defaultText, char* out, size_t outSize) {
  if (outSize == 0) return;
  std::memset(out, 0, outSize);
  char native[kMaxPath];
  platform::hostPath(path, native, sizeof native);
  if (!readIniValue(native, section, key, out, outSize)) {
    std::snprintf(out, outSize, "%s", defaultText ? defaultText : "");
  }
}

double parseProfileNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  size_t digits = 0;
  while (isDigit(*p)) ++p, ++digits;
  const char* point = nullptr;
  if (*p == '.') {
    point = p++;
    while (isDigit(*p)) ++p, ++digits;
  }
  if (digits == 0) return 0.0;
  const char* end = p;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (isDigit(*q)) {
      while (isDigit(*q)) ++q;
      end = q;
    }
  }
  // strtod reads the locale's decimal point; hand it that one.
  const char* localPoint = localePoint();
  char number[2 * kProfileBufferSize];
  size_t used = 0;
  for (const char* c = start; c < end && used + 8 < sizeof number; ++c) {
    if (c == point) {
      for (const char* l = localPoint; *l && used + 8 < sizeof number; ++l) number[used++] = *l;
    } else {
      number[used++] = *c;
    }
  }
  number[used] = 0;
  return std::strtod(number, nullptr);
}

float readProfileFloat(const char* path, const char* section, const char* key, float defaultValue) {
  return static_cast<float>(
      readProfileDouble(path, section, key, static_cast<double>(defaultValue)));
}

double readProfileDouble(const char* path, const char* section, const char* key,
                         double defaultValue) {
  char defaultText[kProfileBufferSize];
  formatFixed(defaultValue, defaultText, sizeof defaultText);
  char value[kProfileBufferSize - 1];
  readProfileString(path, section, key, defaultText, value, sizeof value);
  return parseProfileNumber(value);
}

bool formatProfileFloat(double value, char* out, size_t outSize) {
  if (outSize == 0) return false;
  out[0] = 0;
  if (!std::isfinite(value)) return false;
  int n = formatFixed(value, out, outSize);
  if (n < 0 || static_cast<size_t>(n) > kMaxIniValue || static_cast<size_t>(n) >= outSize) {
    out[0] = 0;
    return false;
  }
  return true;
}

std::string journalPathOf(const char* native) { return std::string(native) + ".journal"; }

namespace {

// A save waits this long for another process's save into the same file.
constexpr uint32_t kSaveLockWaitMs = 200;

FileRead readNativeText(const char* native, size_t maxSize, std::string& text, int32_t& errorCode,
                        bool* fromJournal) {
  std::string journal = journalPathOf(native);
  FileRead result = readIniFile(journal.c_str(), maxSize, text, errorCode);
  if (fromJournal) *fromJournal = result != FileRead::kMissing;
  if (result != FileRead::kMissing) return result;
  return readIniFile(native, maxSize, text, errorCode);
}

}  // namespace

FileRead readProfileText(const char* path, size_t maxSize, std::string& text, int32_t& errorCode,
                         bool* fromJournal) {
  char native[kMaxPath];
  platform::hostPath(path, native, sizeof native);
  return readNativeText(native, maxSize, text, errorCode, fromJournal);
}

ProfileSave saveProfileStrings(const char* path, const ProfileEntry* entries, size_t count,
                               size_t maxSize) {
  ProfileSave outcome;
  for (size_t i = 0; i < count; ++i) {
    if (!storable(entries[i])) {
      outcome.errorCode = -1;
      return outcome;
    }
  }
  if (count == 0) {
    outcome.written = true;
    return outcome;
  }
  char native[kMaxPath];
  platform::hostPath(path, native, sizeof native);
  platform::FileLock lock;
  platform::Status locked = platform::takeFileLock(native, kSaveLockWaitMs, lock);
  if (!locked.ok()) {
    outcome.errorCode = locked.errorCode();
    return outcome;
  }

  std::string text;
  bool fromJournal = false;
  // A file that is there but cannot be read (held by another program,
  // unreadable, too large) must not be replaced by the few keys we set.
  outcome.read = readNativeText(native, maxSize, text, outcome.errorCode, &fromJournal);
  if (outcome.read == FileRead::kTooLarge || outcome.read == FileRead::kFailed) return outcome;
  for (size_t i = 0; i < count; ++i) {
    text = withIniValue(text, entries[i].section, entries[i].key, entries[i].value);
  }
  std::string journal = journalPathOf(native);
  platform::Status replaced = platform::writeFileAtomically(native, text.data(), text.size());
  outcome.errorCode = replaced.errorCode();
  if (replaced.ok()) {
    outcome.written = true;
    if (fromJournal) platform::removeFile(journal.c_str());
    return outcome;
  }
  if (!platform::refusedWhileHeldOpen(outcome.errorCode)) return outcome;
  // Replacing was refused. Keep the text safe in the journal first, then
  // write the file where it lies: a crash part way through that leaves a
  // damaged file, and the journal, which the next read takes instead.
  if (!platform::writeFileAtomically(journal.c_str(), text.data(), text.size()).ok()) {
    return outcome;
  }
  outcome.journaled = true;
  if (platform::overwriteFileInPlace(native, text.data(), text.size()).ok()) {
    outcome.written = true;
    outcome.journaled = false;
    outcome.errorCode = 0;
    platform::removeFile(journal.c_str());
  }
  return outcome;
}

bool writeProfileStrings(const char* path, const ProfileEntry* entries, size_t count) {
  return saveProfileStrings(path, entries, count).written;
}

bool writeProfileString(const char* path, const char* section, const char* key, const char* value) {
  ProfileEntry entry{section, key, value};
  return writeProfileStrings(path, &entry, 1);
}

bool writeProfileFloat(const char* path, const char* section, const char* key, double value) {
  char text[kProfileBufferSize];
  if (!formatProfileFloat(value, text, sizeof text)) return false;
  return writeProfileString(path, section, key, text);
}

}  // namespace korvanel

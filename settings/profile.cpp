// Profile reading and writing on top of our INI reader and writer.
#include "settings/profile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "settings/ini_file.h"
#include "settings/profile_journal.h"

namespace korvanel {
namespace {

constexpr size_t kMaxPath = 1024;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Whether the decimal number [first, last), beyond a double's range, is too
// large rather than too small: its exponent moves its first significant
// digit left of the point.
bool tooLarge(const char* first, const char* last) {
  const char* exponent = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
  const char* point = std::find(first, exponent, '.');
  const char* digit = std::find_if(first, exponent, [](char c) { return c >= '1' && c <= '9'; });
  long shift = exponent == last ? 0 : std::strtol(exponent + 1, nullptr, 10);
  return shift > (digit < point ? digit - point : digit - point - 1);
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

double parseProfileNumber(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  // A digit or a point and a digit start a decimal number; from_chars alone
  // would also take "inf" and "nan".
  if (!isDigit(*text) && !(*text == '.' && isDigit(text[1]))) return 0.0;
  double value = 0.0;
  std::from_chars_result read = std::from_chars(text, text + std::strlen(text), value);
  if (read.ec == std::errc::result_out_of_range) value = tooLarge(text, read.ptr) ? HUGE_VAL : 0.0;
  return negative ? -value : value;
}

bool formatProfileFloat(double value, char* out, size_t outSize) {
  if (outSize == 0) return false;
  std::to_chars_result made =
      std::to_chars(out, out + outSize - 1, value, std::chars_format::fixed, 6);
  bool fits = std::isfinite(value) && made.ec == std::errc() &&
              static_cast<size_t>(made.ptr - out) <= kMaxIniValue;
  *(fits ? made.ptr : out) = 0;
  return fits;
}

std::string journalPathOf(const char* native) { return std::string(native) + ".journal"; }

std::string rejectedJournalPathOf(const char* native) {
  return journalPathOf(native) + ".rejected";
}

namespace {

// A save waits this long for another process's save into the same file.
constexpr uint32_t kSaveLockWaitMs = 200;

// The file's text as the latest save left it, read under the save lock or,
// when `settle` is false, without acting on what is found. A journal that
// is whole and newer than the file gives its text; one that is done with
// is removed, and any other is set aside (renamed, never read again) so
// that the file stays authoritative, when `settle` is true.
struct CurrentText {
  FileRead read = FileRead::kRead;
  int32_t errorCode = 0;
  std::string file;  // the file's own bytes
  std::string text;  // what the latest save left: the file's or the journal's
  JournalVerdict journal = JournalVerdict::kNone;
};

CurrentText readCurrent(const char* native, size_t maxSize, bool settle) {
  CurrentText current;
  current.read = readIniFile(native, maxSize, current.file, current.errorCode);
  if (current.read == FileRead::kTooLarge || current.read == FileRead::kFailed) return current;
  current.text = current.file;
  std::string journalPath = journalPathOf(native);
  std::string journal;
  int32_t journalCode = 0;
  // Room for a file at the limit and its base, and the header.
  FileRead journalRead = readIniFile(journalPath.c_str(), 2 * maxSize + 256, journal, journalCode);
  if (journalRead == FileRead::kMissing) return current;
  std::string journalText;
  current.journal = journalRead == FileRead::kRead
                        ? judgeJournal(journal, current.file, journalText)
                        : JournalVerdict::kDamaged;
  if (current.journal == JournalVerdict::kApplies) {
    current.text = std::move(journalText);
  } else if (settle && current.journal == JournalVerdict::kDone) {
    platform::removeFile(journalPath.c_str());
  } else if (settle) {
    platform::renameFile(journalPath.c_str(), rejectedJournalPathOf(native).c_str());
  }
  return current;
}

// The file a save at host path `path` writes: symbolic links are followed
// so that the link stays and its target is updated.
bool resolvedPath(const char* path, char* native, size_t size, int32_t& errorCode) {
  char given[kMaxPath];
  platform::hostPath(path, given, sizeof given);
  platform::Status resolved = platform::resolveLinks(given, native, size);
  errorCode = resolved.errorCode();
  return resolved.ok();
}

}  // namespace

FileRead readProfileText(const char* path, size_t maxSize, std::string& text, int32_t& errorCode,
                         JournalVerdict* journal) {
  text.clear();
  char native[kMaxPath];
  if (!resolvedPath(path, native, sizeof native, errorCode)) return FileRead::kFailed;
  // A journal is settled under the save lock, so that no save is half way
  // through it; without the lock it is only judged.
  platform::FileLock lock;
  bool settle = platform::fileExists(journalPathOf(native).c_str()) &&
                platform::takeFileLock(native, kSaveLockWaitMs, lock).ok();
  CurrentText current = readCurrent(native, maxSize, settle);
  errorCode = current.errorCode;
  if (journal) *journal = current.journal;
  if (current.read == FileRead::kRead || current.read == FileRead::kMissing) {
    text = std::move(current.text);
    // A file that is missing while its journal applies has text after all.
    if (current.read == FileRead::kMissing && !text.empty()) return FileRead::kRead;
  }
  return current.read;
}

ProfileSave editProfileText(const char* path, const ProfileEdit& edit, size_t maxSize) {
  ProfileSave outcome;
  char native[kMaxPath];
  if (!resolvedPath(path, native, sizeof native, outcome.errorCode)) {
    outcome.read = FileRead::kFailed;
    return outcome;
  }
  platform::FileLock lock;
  platform::Status locked = platform::takeFileLock(native, kSaveLockWaitMs, lock);
  if (!locked.ok()) {
    outcome.errorCode = locked.errorCode();
    return outcome;
  }

  // A file that is there but cannot be read (held by another program,
  // unreadable, too large, not a regular file) must not be replaced by the
  // few keys we set.
  CurrentText current = readCurrent(native, maxSize, true);
  outcome.read = current.read;
  outcome.errorCode = current.errorCode;
  outcome.journal = current.journal;
  if (current.read == FileRead::kTooLarge || current.read == FileRead::kFailed) return outcome;
  std::string text = std::move(current.text);
  edit(text);
  std::string journal = journalPathOf(native);
  auto writeJournal = [&] {
    std::string bytes = encodeJournal(text, current.file);
    return platform::writeFileAtomically(journal.c_str(), bytes.data(), bytes.size());
  };
  // While a journal applies the file may be part written: the new text goes
  // into a journal first (over the old one), which names the file as it is
  // now, so that a crash at any point leaves either a file or a journal that
  // the next read takes as newest.
  bool journaled = current.journal == JournalVerdict::kApplies;
  if (journaled) {
    platform::Status kept = writeJournal();
    if (!kept.ok()) {
      outcome.errorCode = kept.errorCode();
      return outcome;
    }
  }
  platform::Status replaced = platform::writeFileAtomically(native, text.data(), text.size());
  outcome.errorCode = replaced.errorCode();
  if (replaced.ok()) {
    outcome.written = true;
    if (journaled) platform::removeFile(journal.c_str());
    return outcome;
  }
  outcome.journaled = journaled;
  if (!platform::refusedWhileHeldOpen(outcome.errorCode)) return outcome;
  // Replacing was refused. Keep the text safe in the journal first, then
  // write the file where it lies: a crash part way through that leaves a
  // part-written file, and the journal, which the next read takes instead.
  if (!journaled) {
    if (!writeJournal().ok()) return outcome;
    outcome.journaled = true;
  }
  if (platform::overwriteFileInPlace(native, text.data(), text.size()).ok()) {
    outcome.written = true;
    outcome.journaled = false;
    outcome.errorCode = 0;
    platform::removeFile(journal.c_str());
  }
  return outcome;
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
  return editProfileText(
      path,
      [&](std::string& text) {
        for (size_t i = 0; i < count; ++i) {
          text = withIniValue(text, entries[i].section, entries[i].key, entries[i].value);
        }
      },
      maxSize);
}

}  // namespace korvanel

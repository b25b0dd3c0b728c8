// The profile helpers the configuration and the odometer read and write
// their files with. Paths are the plugin's host paths ("Plugins\\...").
// Numbers are written and read with '.' as the decimal point whatever the
// C locale of the process says, so a host that switches its locale neither
// writes "1234,500000" nor reads "1234.500000" as 1234.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "settings/ini_file.h"
#include "settings/profile_journal.h"

namespace korvanel {

// Size of the buffer a read value arrives in: at most 259 characters.
constexpr size_t kProfileBufferSize = 261;

// The longest leading decimal number of `text` (after blanks: an optional
// sign, digits with at most one '.', an optional exponent), 0 when there is
// none. Hexadecimal forms, "inf" and "nan" are not decimal numbers.
double parseProfileNumber(const char* text);

// Formats `value` the way the profile files store numbers: "%f", six
// decimals.
// Returns false, leaving `out` empty, for a value that is not finite or whose
// text would be longer than a reader takes back (259 characters).
bool formatProfileFloat(double value, char* out, size_t outSize);

// One key for saveProfileStrings.
struct ProfileEntry {
  const char* section;
  const char* key;
  const char* value;
};

// What saveProfileStrings and editProfileText achieved.
struct ProfileSave {
  bool written = false;             // the file holds the new values
  bool journaled = false;           // not the file, but its journal does (below)
  FileRead read = FileRead::kRead;  // how reading the old text went
  int32_t errorCode = 0;            // the system's code of the step that failed; -1
                                    // for entries that cannot stand in INI text
  // The journal found beside the file. kDamaged and kStale ones were set
  // aside (renamed to rejectedJournalPathOf) and their text not used.
  JournalVerdict journal = JournalVerdict::kNone;
};

// Changes the text of a profile file in place in memory.
using ProfileEdit = std::function<void(std::string& text)>;

// Replaces the profile file at host path `path` by `edit` of its current
// text, for a file that other programs read while we write and other
// processes may save into at the same time. The read, edit and write run
// under a lock shared by every process saving into the same file (taken
// through the platform), so no two saves lose each other's changes. A
// symbolic link in the file's place is followed: its target is replaced
// and the link stays. The file is replaced in one step; when that is
// refused (on some systems a reader that holds the file open refuses it)
// the new text first goes to the journal, a file beside it, and is then
// written over the file where it lies. A save that ends with the file whole
// removes the journal; one that could not write the file leaves the
// journal, which is read in the file's place only while it is whole and
// newer than the file (see profile_journal.h); any other journal is set
// aside and the file stays authoritative. So a crash or kill at any point
// loses nothing that a save had reached, and a stray journal loses nothing
// of the file. Files over `maxSize` bytes are refused unread and never
// written; so is anything in the file's place that is not a regular file.
ProfileSave editProfileText(const char* path, const ProfileEdit& edit,
                            size_t maxSize = kMaxIniFileSize);

// editProfileText setting every entry in ONE replacement of the file, so
// that a reader, or a crash part way, sees either all of the new values or
// none of them. Every other line of the file is kept. Writes nothing (result
// not written, errorCode -1 for the entries) when an entry could not stand
// in INI text unchanged: a line break anywhere, an empty name, blanks around
// a name, ']' in a section name, '=' in a key, or a key starting with '['
// or ';'. Nothing to set writes nothing, not even a new file.
ProfileSave saveProfileStrings(const char* path, const ProfileEntry* entries, size_t count,
                               size_t maxSize = kMaxIniFileSize);

// The text of the profile file at host path `path` as its latest save left
// it: its journal's text when the journal is whole and newer than the file,
// else the file's (readIniFile, with the same results). `journal` tells what
// was found beside the file (kApplies: its text was read). When it can take
// the save lock, it settles the journal as editProfileText does.
FileRead readProfileText(const char* path, size_t maxSize, std::string& text, int32_t& errorCode,
                         JournalVerdict* journal = nullptr);

// The native path of the journal of the file at native path `native`, and
// where a journal that is not used is set aside.
std::string journalPathOf(const char* native);
std::string rejectedJournalPathOf(const char* native);

}  // namespace korvanel

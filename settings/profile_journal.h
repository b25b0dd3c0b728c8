// The journal that carries a profile file's new text while the file itself
// cannot be replaced in one step. It names the text it brings and the text
// of the file it continues, each by length and checksum and in full, so
// that a reader can tell a journal that is whole and newer than the file
// from one that is cut short, foreign, or left over from an earlier save.
#pragma once

#include <string>

namespace korvanel {

// The journal's bytes for the new text `text`, written when the file held
// `base`.
std::string encodeJournal(const std::string& text, const std::string& base);

// What a journal found beside its file is worth.
enum class JournalVerdict {
  kNone,     // there is no journal
  kApplies,  // whole, and the file still holds its base or a part-written
             // mix of its base and its text: the journal's text is newest
  kDone,     // whole, and the file already holds its text: nothing to apply
  kDamaged,  // not a whole journal (cut short, empty, garbage, other format)
  kStale,    // whole, but the file has changed since: older than the file
};

// Judges the journal bytes `journal` against the file's current text
// `file`; when the verdict is kApplies, `text` receives the journal's text.
JournalVerdict judgeJournal(const std::string& journal, const std::string& file, std::string& text);

}  // namespace korvanel

// Journal encoding and judging. The header line is
// "KORVANEL-JOURNAL 1 <text length> <text checksum> <base length> <base
// checksum>", then the text, then the base; checksums are 64-bit FNV-1a in
// sixteen hex digits.
#include "settings/profile_journal.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace korvanel {
namespace {

constexpr char kMagic[] = "KORVANEL-JOURNAL 1";

uint64_t checksum(const char* bytes, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(bytes[i]);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// Whether `file` can be what writing `text` over `base` where it lies left
// behind when it stopped part way: every byte is the text's or the base's
// at the same place (or a zero of space not yet filled), and its length
// lies between theirs.
bool partWritten(const std::string& file, const std::string& text, const std::string& base) {
  size_t shorter = text.size() < base.size() ? text.size() : base.size();
  size_t longer = text.size() < base.size() ? base.size() : text.size();
  if (file.size() < shorter || file.size() > longer) return false;
  for (size_t i = 0; i < file.size(); ++i) {
    char c = file[i];
    if (!((i < text.size() && c == text[i]) || (i < base.size() && c == base[i]) || c == 0)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string encodeJournal(const std::string& text, const std::string& base) {
  char header[128];
  std::snprintf(header, sizeof header, "%s %zu %016" PRIx64 " %zu %016" PRIx64 "\n", kMagic,
                text.size(), checksum(text.data(), text.size()), base.size(),
                checksum(base.data(), base.size()));
  return header + text + base;
}

JournalVerdict judgeJournal(const std::string& journal, const std::string& file,
                            std::string& text) {
  size_t lineEnd = journal.find('\n');
  if (lineEnd == std::string::npos || lineEnd > 120) return JournalVerdict::kDamaged;
  std::string line = journal.substr(0, lineEnd);
  char magic[32] = "";
  char version[8] = "";
  size_t textSize = 0;
  size_t baseSize = 0;
  uint64_t textSum = 0;
  uint64_t baseSum = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%31s %7s %zu %16" SCNx64 " %zu %16" SCNx64 "%n", magic, version,
                  &textSize, &textSum, &baseSize, &baseSum, &consumed) != 6 ||
      static_cast<size_t>(consumed) != line.size() ||
      std::string(magic) + " " + version != kMagic) {
    return JournalVerdict::kDamaged;
  }
  size_t body = journal.size() - lineEnd - 1;
  if (textSize > body || baseSize != body - textSize) return JournalVerdict::kDamaged;
  const char* textStart = journal.data() + lineEnd + 1;
  const char* baseStart = textStart + textSize;
  if (checksum(textStart, textSize) != textSum || checksum(baseStart, baseSize) != baseSum) {
    return JournalVerdict::kDamaged;
  }
  std::string newText(textStart, textSize);
  if (file == newText) return JournalVerdict::kDone;
  if (!partWritten(file, newText, std::string(baseStart, baseSize))) return JournalVerdict::kStale;
  text = std::move(newText);
  return JournalVerdict::kApplies;
}

}  // namespace korvanel

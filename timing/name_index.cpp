// The name index of the timing table: a linear-probing hash table over the
// case-folded name triples, checked against a copy of the name bytes.
#include "timing/name_index.h"

#include <cstring>

#include "text/ascii_text.h"
#include "text/bytes.h"

namespace korvanel {
namespace {

constexpr int kFieldSizes[3] = {kDriverNameSize, kVehicleNameSize, kVehicleClassSize};
constexpr int kFieldOffsets[3] = {0, kDriverNameSize, kDriverNameSize + kVehicleNameSize};

static_assert(offsetof(TimeTableEntry, driverName) == kFieldOffsets[0]);
static_assert(offsetof(TimeTableEntry, vehicleName) == kFieldOffsets[1]);
static_assert(offsetof(TimeTableEntry, vehicleClass) == kFieldOffsets[2]);

uint8_t boundedLength(const char* text, int fieldSize) {
  int n = 0;
  while (n < fieldSize - 1 && text[n] != 0) ++n;
  return static_cast<uint8_t>(n);
}

NameKey keyOfNameBytes(const char* bytes) {
  return makeNameKey(bytes + kFieldOffsets[0], bytes + kFieldOffsets[1], bytes + kFieldOffsets[2]);
}

// Whether the three name fields laid out as in an entry carry `key`'s names.
bool bytesCarry(const char* bytes, const NameKey& key) {
  for (int f = 0; f < 3; ++f) {
    const char* field = bytes + kFieldOffsets[f];
    int n = key.length[f];
    for (int i = 0; i < n; ++i) {
      if (foldCase(field[i]) != foldCase(key.text[f][i])) return false;
    }
    if (n < kFieldSizes[f] - 1 && field[n] != 0) return false;
  }
  return true;
}

}  // namespace

NameKey makeNameKey(const char* driverName, const char* vehicleName, const char* vehicleClass) {
  NameKey key;
  key.text[0] = driverName;
  key.text[1] = vehicleName;
  key.text[2] = vehicleClass;
  uint32_t h = 2166136261u;  // FNV-1a, then a final mix for the low bits
  for (int f = 0; f < 3; ++f) {
    key.length[f] = boundedLength(key.text[f], kFieldSizes[f]);
    for (int i = 0; i < key.length[f]; ++i) {
      h = (h ^ static_cast<unsigned char>(foldCase(key.text[f][i]))) * 16777619u;
    }
    h = (h ^ (0x100u + key.length[f])) * 16777619u;  // keeps "ab","c" apart from "a","bc"
  }
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  key.hash = h;
  return key;
}

void TimeTableNameIndex::rebuild(const TimeTable& table) {
  // Whatever the storage held before, no answer counts from here on.
  ++version_;
  for (Answer& a : answers_) a.generation = 0;
  for (PositionAnswer& a : positionAnswers_) a.generation = 0;
  for (uint16_t& h : hints_) h = 0;
  generation_ = 1;
  answerCount_ = 0;
  preciseForgets_ = 0;
  for (Slot& s : slots_) s.entry = kEmpty;
  for (int k = 0; k < kTimeTableEntries; ++k) {
    std::memcpy(names_[k], &table.entries[k], kEntryNameBytes);
    NameKey key = keyOfNameBytes(names_[k]);
    int s = probe(key);
    // Entries go in in order, so the first to claim a triple is the lowest.
    if (slots_[s].entry == kEmpty) slots_[s] = Slot{key.hash, static_cast<uint16_t>(k)};
  }
}

bool TimeTableNameIndex::matches(const TimeTable& table) const {
  for (int k = 0; k < kTimeTableEntries; ++k) {
    // Inline: 150 calls of the runtime's memcmp cost the 32-bit build more
    // than the comparison.
    if (!sameBytes<kEntryNameBytes>(names_[k], &table.entries[k])) return false;
  }
  return true;
}

int TimeTableNameIndex::probe(const NameKey& key) const {
  // Candidates are checked against the copy of the names the index holds, so
  // an entry whose names are being rewritten is still found by its old ones.
  int s = static_cast<int>(key.hash & (kSlots - 1));
  while (slots_[s].entry != kEmpty) {
    if (slots_[s].hash == key.hash && bytesCarry(names_[slots_[s].entry], key)) {
      return s;
    }
    s = (s + 1) & (kSlots - 1);
  }
  return s;
}

int TimeTableNameIndex::find(const NameKey& key) const {
  int s = probe(key);
  return slots_[s].entry == kEmpty ? -1 : slots_[s].entry;
}

void TimeTableNameIndex::remove(int slot) {
  // Backward-shift deletion: pull later members of the probe run into the
  // hole whenever their home slot lies at or before it.
  int hole = slot;
  int s = slot;
  for (;;) {
    s = (s + 1) & (kSlots - 1);
    if (slots_[s].entry == kEmpty) break;
    int home = static_cast<int>(slots_[s].hash & (kSlots - 1));
    bool homeInGap = hole <= s ? (home > hole && home <= s) : (home > hole || home <= s);
    if (!homeInGap) {
      slots_[hole] = slots_[s];
      hole = s;
    }
  }
  slots_[hole].entry = kEmpty;
}

void TimeTableNameIndex::namesWritten(const TimeTable& table, int k) {
  ++version_;
  NameKey oldKey = keyOfNameBytes(names_[k]);
  int s = probe(oldKey);
  if (slots_[s].entry == k) {
    int next = -1;
    for (int j = k + 1; j < kTimeTableEntries && next < 0; ++j) {
      if (bytesCarry(names_[j], oldKey)) next = j;
    }
    if (next >= 0) {
      slots_[s].entry = static_cast<uint16_t>(next);
    } else {
      remove(s);
    }
  }

  std::memcpy(names_[k], &table.entries[k], kEntryNameBytes);
  NameKey newKey = keyOfNameBytes(names_[k]);
  forgetAnswersChangedBy(k, newKey);
  s = probe(newKey);
  if (slots_[s].entry == kEmpty) {
    slots_[s] = Slot{newKey.hash, static_cast<uint16_t>(k)};
  } else if (k < slots_[s].entry) {
    slots_[s].entry = static_cast<uint16_t>(k);
  }
}

void TimeTableNameIndex::forgetAnswers() {
  // Generation 0 never counts: it is what rebuild() leaves in every slot.
  if (++generation_ == 0) {
    for (Answer& a : answers_) a.generation = 0;
    for (PositionAnswer& a : positionAnswers_) a.generation = 0;
    generation_ = 1;
  }
  answerCount_ = 0;
  preciseForgets_ = 0;
}

void TimeTableNameIndex::forgetAnswersChangedBy(int k, const NameKey& written) {
  // A new timing entry comes with every new driver, and forgetting all
  // answers made every later lookup of that update and the next one a full
  // search. An answer for other names still holds: entry k no longer
  // carrying its old names changes only answers that were k, and k carrying
  // the new ones only answers of those names that were higher or none
  // (equal names hash alike, so keyHash finds all of them). A session's
  // first update brings a new entry for every car: past a few, renewing
  // costs less than visiting the answers for each.
  if (preciseForgets_ >= kPreciseForgets) {
    forgetAnswers();
    return;
  }
  ++preciseForgets_;
  auto changed = [&](int32_t entry, uint32_t keyHash) {
    return entry == k || (keyHash == written.hash && (entry < 0 || entry > k));
  };
  // Generation 0 never counts; a slot freed so is stored again in its turn.
  for (int i = 0; i < answerCount_; ++i) {
    Answer& a = answers_[storedSlots_[i]];
    if (a.generation == generation_ && changed(a.entry, a.keyHash)) a.generation = 0;
  }
  for (PositionAnswer& a : positionAnswers_) {
    if (a.generation == generation_ && changed(a.entry, a.keyHash)) a.generation = 0;
  }
}

namespace {

uint64_t loadWord(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

uint64_t rotate(uint64_t w, int bits) { return (w << bits) | (w >> (64 - bits)); }

// A cheap hash of the bytes that tell names apart soonest; equal images
// always hash alike, and the answer is only taken after comparing them all.
// One multiplication after a tree of exclusive ors keeps the chain short.
uint32_t fieldsTag(const char* driverName, const char* vehicleName, const char* vehicleClass) {
  uint64_t h = (loadWord(driverName) ^ rotate(loadWord(driverName + 8), 13)) ^
               (rotate(loadWord(vehicleName), 26) ^ rotate(loadWord(vehicleName + 8), 39)) ^
               (rotate(loadWord(vehicleName + 16), 52) ^ rotate(loadWord(vehicleClass), 7));
  return static_cast<uint32_t>((h * 0x9E3779B97F4A7C15ull) >> 32);
}

// An image of the three fields laid out as in an entry, for sameFields().
void keepFields(char* image, const char* driverName, const char* vehicleName,
                const char* vehicleClass) {
  std::memcpy(image, driverName, kDriverNameSize);
  std::memcpy(image + kDriverNameSize, vehicleName, kVehicleNameSize);
  std::memcpy(image + kDriverNameSize + kVehicleNameSize, vehicleClass, kVehicleClassSize);
}

}  // namespace

int TimeTableNameIndex::findFields(const char* driverName, const char* vehicleName,
                                   const char* vehicleClass) {
  return answerFor(driverName, vehicleName, vehicleClass).entry;
}

int TimeTableNameIndex::findAndKeepAt(int position, const char* driverName, const char* vehicleName,
                                      const char* vehicleClass) {
  PositionAnswer& kept = positionAnswers_[position];
  const Answer& a = answerFor(driverName, vehicleName, vehicleClass);
  kept = PositionAnswer{generation_, a.entry, a.keyHash};
  keepFields(positionFields_[position], driverName, vehicleName, vehicleClass);
  return kept.entry;
}

const TimeTableNameIndex::Answer& TimeTableNameIndex::answerFor(const char* driverName,
                                                                const char* vehicleName,
                                                                const char* vehicleClass) {
  uint16_t& hint = hints_[(reinterpret_cast<uintptr_t>(driverName) >> 2) & (kHints - 1)];
  if (hint != 0) {
    const int h = (hint - 1) & (kAnswers - 1);
    const Answer& a = answers_[h];
    if (a.generation == generation_ &&
        sameFields(answerFields_[h], driverName, vehicleName, vehicleClass)) {
      return a;
    }
  }

  const uint32_t tag = fieldsTag(driverName, vehicleName, vehicleClass);
  int s = static_cast<int>(tag & (kAnswers - 1));
  for (;;) {
    const Answer& a = answers_[s];
    if (a.generation != generation_) break;  // a free slot: not remembered
    if (a.tag == tag && sameFields(answerFields_[s], driverName, vehicleName, vehicleClass)) {
      hint = static_cast<uint16_t>(s + 1);
      return a;
    }
    s = (s + 1) & (kAnswers - 1);
  }

  const NameKey key = makeNameKey(driverName, vehicleName, vehicleClass);
  int entry = find(key);
  if (answerCount_ >= kAnswers * 3 / 4) {
    forgetAnswers();
    s = static_cast<int>(tag & (kAnswers - 1));
  }
  Answer& a = answers_[s];
  a.generation = generation_;
  a.tag = tag;
  a.entry = entry;
  a.keyHash = key.hash;
  keepFields(answerFields_[s], driverName, vehicleName, vehicleClass);
  storedSlots_[answerCount_++] = static_cast<uint8_t>(s);
  hint = static_cast<uint16_t>(s + 1);
  return a;
}

}  // namespace korvanel

// Finding a driver's timing entry by the triple of driver, vehicle and class
// name without comparing against all 150 entries for every vehicle. The
// answer is always the one a plain scan gives: the lowest-numbered entry
// whose three names equal the vehicle's, ignoring ASCII case, free entries
// (whose names are empty) included.
#pragma once

#include <cstdint>

#include "text/bytes.h"
#include "timing/time_table.h"

namespace korvanel {

// Sizes of the three name fields, the same in the host's vehicle record, the
// scoring block and the timing entry.
constexpr int kDriverNameSize = 32;
constexpr int kVehicleNameSize = 64;
constexpr int kVehicleClassSize = 32;

// Bytes of a timing entry that hold the three names.
constexpr int kEntryNameBytes = kDriverNameSize + kVehicleNameSize + kVehicleClassSize;

// A name triple as matching sees it: each text runs to its NUL but never
// further than its field's size less one, which is what a stored copy of it
// would keep (so a host name that fills its field without a NUL still finds
// the entry it was copied into).
struct NameKey {
  const char* text[3];
  uint8_t length[3];
  uint32_t hash;  // of the case-folded texts
};

// Each pointer is to a whole field of its size (32, 64, 32 bytes); the key
// refers to them and is valid while they are.
NameKey makeNameKey(const char* driverName, const char* vehicleName, const char* vehicleClass);

// An open-addressing hash table from each distinct case-folded triple present
// in a table to the lowest entry that carries it, plus a copy of the name
// bytes it was built from, so that names changed behind its back are noticed
// and the index is rebuilt rather than trusted.
class TimeTableNameIndex {
 public:
  // Forgets everything and indexes all 150 entries of `table`. Must come
  // before any other call.
  void rebuild(const TimeTable& table);
  // Whether the name bytes of `table` are those the index was built from.
  bool matches(const TimeTable& table) const;
  // The lowest entry carrying `key`'s names, or -1, in the names the index
  // was built from (see matches()).
  int find(const NameKey& key) const;
  // Entry k's names were just rewritten in `table`; the index still knows the
  // old ones.
  // REQUIRES: every other entry's names are as the index knows them.
  void namesWritten(const TimeTable& table, int k);

  // find(makeNameKey(...)), remembered by the exact bytes of the three
  // fields until the index next changes: a vehicle looked up before costs a
  // comparison of its name bytes instead of a case-folding hash and compare.
  // REQUIRES: each pointer is to a whole field of its size (32, 64, 32
  // bytes), as in the host's vehicle record.
  int findFields(const char* driverName, const char* vehicleName, const char* vehicleClass);
  // findFields() for the vehicle at `position` of the host's array. Each
  // position keeps its last answer beside its own copy of the names, so a
  // car found at the same position before costs one comparison of its names
  // with that copy, read in the order of the array. Other positions than
  // 0 to 149 go to findFields().
  // Inline up to the comparison: it runs for every car of every update, and
  // the calls cost as much as the comparison.
  int findFieldsAt(int position, const char* driverName, const char* vehicleName,
                   const char* vehicleClass) {
    if (position < 0 || position >= kTimeTableEntries) {
      return findFields(driverName, vehicleName, vehicleClass);
    }
    const PositionAnswer& kept = positionAnswers_[position];
    if (kept.generation == generation_ &&
        sameFields(positionFields_[position], driverName, vehicleName, vehicleClass)) {
      return kept.entry;
    }
    return findAndKeepAt(position, driverName, vehicleName, vehicleClass);
  }

  // Changes whenever an answer of find() may change (a rebuild, names
  // written), so an answer kept by a caller holds while this stays the same.
  uint64_t version() const { return version_; }

 private:
  static constexpr int kSlots = 512;  // a power of two, at most 30% full
  static constexpr uint16_t kEmpty = 0xFFFF;

  struct Slot {
    uint32_t hash;
    uint16_t entry;  // kEmpty when the slot is free
  };

  // An answer of find() for one exact byte image of the three fields; the
  // image is kept apart, in answerFields_ at the same position.
  struct Answer {
    uint32_t generation;  // counts only while equal to generation_
    uint32_t tag;         // hash of the field bytes
    int32_t entry;
    uint32_t keyHash;  // NameKey::hash of the names, for namesWritten()
  };
  static constexpr int kAnswers = 256;  // a power of two; renewed when 3/4 full
  // Per address of a driver name field, the answer slot found for it last
  // time plus one (0: none): the same record looked up again skips the hash.
  static constexpr int kHints = 1024;

  // A remembered image of the three fields (laid out as in an entry) against
  // the fields themselves.
  static bool sameFields(const char* image, const char* driverName, const char* vehicleName,
                         const char* vehicleClass) {
    return sameBytes<kDriverNameSize>(image, driverName) &
           sameBytes<kVehicleNameSize>(image + kDriverNameSize, vehicleName) &
           sameBytes<kVehicleClassSize>(image + kDriverNameSize + kVehicleNameSize, vehicleClass);
  }
  // findFieldsAt() past its position's answer: findFields(), the answer kept
  // for the position.
  // REQUIRES: 0 <= position < kTimeTableEntries.
  int findAndKeepAt(int position, const char* driverName, const char* vehicleName,
                    const char* vehicleClass);
  // findFields() with the remembered answer it gave.
  const Answer& answerFor(const char* driverName, const char* vehicleName,
                          const char* vehicleClass);
  // The slot holding `key`, or the free slot where it would go.
  int probe(const NameKey& key) const;
  void remove(int slot);
  // Every remembered answer stops counting (the index changed).
  void forgetAnswers();
  // The remembered answers that entry k's new names `written` may change stop
  // counting: those that gave k, and those of names that may equal the new
  // ones that gave a higher entry or none. The others hold. After
  // kPreciseForgets such calls since the last renewal, all stop counting.
  void forgetAnswersChangedBy(int k, const NameKey& written);
  static constexpr int kPreciseForgets = 4;

  Slot slots_[kSlots];
  // Name images at cache-line boundaries, two lines each: unaligned, every
  // other one spans three, and each lookup reads one image.
  alignas(64) char names_[kTimeTableEntries][kEntryNameBytes];
  alignas(64) char answerFields_[kAnswers][kEntryNameBytes];
  Answer answers_[kAnswers];
  uint16_t hints_[kHints];
  uint32_t generation_;
  int answerCount_;  // answers stored since the last renewal
  // The slots of those answers, in the order stored, for
  // forgetAnswersChangedBy() to visit only them.
  uint8_t storedSlots_[kAnswers];
  int preciseForgets_;  // since the last renewal
  // The answers of findFieldsAt(), counting as the others do, by generation.
  struct PositionAnswer {
    uint32_t generation;
    int32_t entry;
    uint32_t keyHash;
  };
  alignas(64) char positionFields_[kTimeTableEntries][kEntryNameBytes];
  PositionAnswer positionAnswers_[kTimeTableEntries];
  uint64_t version_;
};

}  // namespace korvanel

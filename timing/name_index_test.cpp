// The name index must answer exactly as a plain scan of the 150 entries in
// order would, on any table: letter case, empty and duplicate names, stale
// bytes after a NUL, names that fill their field, and names rewritten behind
// the index's back.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "timing/name_index.h"
#include "timing/time_table.h"
#include "timing/time_table_lookup.h"

namespace korvanel {
namespace {

// The reference: whole strings, ASCII letters folded, a field read up to its
// NUL or its last-but-one byte.
std::string matchText(const char* field, int size) {
  std::string s;
  for (int i = 0; i < size - 1 && field[i] != 0; ++i) {
    char c = field[i];
    s += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  return s;
}

int scanFor(const TimeTable& t, const char* driver, const char* vehicle, const char* cls) {
  for (int k = 0; k < kTimeTableEntries; ++k) {
    const TimeTableEntry& e = t.entries[k];
    if (matchText(e.driverName, 32) == matchText(driver, 32) &&
        matchText(e.vehicleName, 64) == matchText(vehicle, 64) &&
        matchText(e.vehicleClass, 32) == matchText(cls, 32)) {
      return k;
    }
  }
  return -1;
}

// Names drawn from a small pool so that tables are full of duplicates, case
// variants and empty names; bytes outside ASCII must not fold.
const char* const kPool[] = {"",        "Ann",     "ANN", "aNn", "Bob",  "bob ", "B0b",
                             "Ann\xC4", "ann\xE4", "GT3", "gt3", "LMP2", "Zed"};

class NameFiller {
 public:
  // A narrow filler draws from the first few pool names only, so that equal
  // triples are common.
  explicit NameFiller(uint32_t seed, bool narrow = false) : rng_(seed), narrow_(narrow) {}

  // Writes a name into a field: from the pool, or a long one that fills the
  // field with no NUL; the bytes after the NUL are random leftovers.
  void fill(char* field, int size) {
    for (int i = 0; i < size; ++i) field[i] = static_cast<char>(rng_() & 0xFF);
    uint32_t pick = rng_() % 20;
    if (pick == 0 && !narrow_) {
      // Same first size-1 letters every time, differing case and last byte.
      for (int i = 0; i < size; ++i) field[i] = (rng_() & 1) ? 'q' : 'Q';
      return;
    }
    size_t poolSize = narrow_ ? 3 : sizeof kPool / sizeof kPool[0];
    const char* name = kPool[rng_() % poolSize];
    std::strcpy(field, name);
  }
  void fillEntry(TimeTableEntry& e) {
    fill(e.driverName, 32);
    fill(e.vehicleName, 64);
    fill(e.vehicleClass, 32);
    e.inUse = rng_() & 1;
  }
  uint32_t next() { return rng_(); }

 private:
  std::mt19937 rng_;
  bool narrow_;
};

struct Triple {
  char driver[32];
  char vehicle[64];
  char cls[32];
};

// Queries: each entry's own names with the case changed, plus fresh random
// triples (most of which hit some entry, as the pool is small).
std::vector<Triple> queriesFor(const TimeTable& t, NameFiller& filler) {
  std::vector<Triple> out;
  for (const TimeTableEntry& e : t.entries) {
    Triple q;
    std::memcpy(q.driver, e.driverName, 32);
    std::memcpy(q.vehicle, e.vehicleName, 64);
    std::memcpy(q.cls, e.vehicleClass, 32);
    for (char& c : q.driver) {
      if (c >= 'a' && c <= 'z' && (filler.next() & 1)) c = static_cast<char>(c - 32);
    }
    out.push_back(q);
  }
  for (int i = 0; i < 60; ++i) {
    Triple q;
    filler.fill(q.driver, 32);
    filler.fill(q.vehicle, 64);
    filler.fill(q.cls, 32);
    out.push_back(q);
  }
  return out;
}

void expectSameAsScan(const TimeTable& t, const TimeTableNameIndex& index, NameFiller& filler) {
  for (const Triple& q : queriesFor(t, filler)) {
    int expected = scanFor(t, q.driver, q.vehicle, q.cls);
    ASSERT_EQ(index.find(makeNameKey(q.driver, q.vehicle, q.cls)), expected)
        << "driver '" << matchText(q.driver, 32) << "' vehicle '" << matchText(q.vehicle, 64)
        << "' class '" << matchText(q.cls, 32) << "'";
  }
}

TEST(NameIndexTest, AnswersAsThePlainScanOnRandomTables) {
  auto table = std::make_unique<TimeTable>();
  auto index = std::make_unique<TimeTableNameIndex>();
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    NameFiller filler(seed);
    for (TimeTableEntry& e : table->entries) filler.fillEntry(e);
    index->rebuild(*table);
    ASSERT_TRUE(index->matches(*table));
    expectSameAsScan(*table, *index, filler);
  }
}

TEST(NameIndexTest, AnswersAsThePlainScanWhileEntriesAreRewrittenOneByOne) {
  auto table = std::make_unique<TimeTable>();
  auto index = std::make_unique<TimeTableNameIndex>();
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    NameFiller filler(seed * 7919u, seed % 2 == 0);
    // Mostly distinct names at first, so the probe runs are long and removals
    // have to shift entries back.
    for (int k = 0; k < kTimeTableEntries; ++k) {
      TimeTableEntry& e = table->entries[k];
      filler.fillEntry(e);
      std::snprintf(e.driverName, sizeof e.driverName, "Driver %d-%u", k, filler.next() % 3);
    }
    index->rebuild(*table);
    for (int step = 0; step < 300; ++step) {
      int k = static_cast<int>(filler.next() % kTimeTableEntries);
      filler.fillEntry(table->entries[k]);
      index->namesWritten(*table, k);
      ASSERT_TRUE(index->matches(*table));
      if (step % 25 == 0) expectSameAsScan(*table, *index, filler);
    }
    expectSameAsScan(*table, *index, filler);
  }
}

// A lookup as the scoring cycle makes it: refreshed against the table first.
int findIn(TimeTableLookup& lookup, const TimeTable& t, const char* driver, const char* vehicle,
           const char* cls) {
  return lookup.refresh(t).find(makeNameKey(driver, vehicle, cls));
}

TEST(NameIndexTest, FieldsWithoutNulMatchTheirStoredCopy) {
  auto table = std::make_unique<TimeTable>();
  auto lookup = std::make_unique<TimeTableLookup>();
  table->reset();
  char driver[32], vehicle[64], cls[32];
  std::memset(driver, 'd', sizeof driver);
  std::memset(vehicle, 'V', sizeof vehicle);
  std::memset(cls, 'c', sizeof cls);
  std::memset(table->entries[3].driverName, 'D', 31);
  std::memset(table->entries[3].vehicleName, 'v', 63);
  std::memset(table->entries[3].vehicleClass, 'C', 31);
  EXPECT_EQ(findIn(*lookup, *table, driver, vehicle, cls), 3);
  vehicle[62] = 'x';
  EXPECT_EQ(findIn(*lookup, *table, driver, vehicle, cls), -1);
}

TEST(NameIndexTest, ALookupNoticesNamesWrittenBehindItsBack) {
  // One lookup for two tables in turn: each refresh finds the other's names.
  auto lookup = std::make_unique<TimeTableLookup>();
  auto a = std::make_unique<TimeTable>();
  auto b = std::make_unique<TimeTable>();
  a->reset();
  b->reset();
  for (int round = 0; round < 4; ++round) {
    for (TimeTable* t : {a.get(), b.get()}) {
      int k = round * 5 + (t == b.get() ? 1 : 0);
      std::snprintf(t->entries[k].driverName, 32, "Racer %d", round);
      std::strcpy(t->entries[k].vehicleName, "Car");
      std::strcpy(t->entries[k].vehicleClass, "GT3");
      EXPECT_EQ(findIn(*lookup, *t, t->entries[k].driverName, "CAR", "gt3"), k);
      EXPECT_EQ(findIn(*lookup, *t, "", "", ""), scanFor(*t, "", "", ""));
    }
  }
  a->entries[0].driverName[0] = 0;
  EXPECT_EQ(findIn(*lookup, *a, "Racer 0", "Car", "GT3"), -1);
  EXPECT_EQ(findIn(*lookup, *a, "", "cAR", "GT3"), 0);
  EXPECT_EQ(findIn(*lookup, *a, "", "", ""), 1);
}

}  // namespace
}  // namespace korvanel

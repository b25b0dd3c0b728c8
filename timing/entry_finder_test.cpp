// The entry finder against a plain scan of the table, over updates that
// bring new drivers, driver swaps at a position, twins with the same names,
// case variants, stale bytes behind terminators, names that fill their
// fields, and a full table.
#include "timing/entry_finder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/test_support.h"
#include "text/ascii_text.h"
#include "timing/time_table.h"

namespace korvanel {
namespace {

using testing::Random;

// A whole name field: the text, a terminator when it fits, then stale bytes.
template <size_t N>
void writeField(char (&field)[N], const char* text, Random& r) {
  for (char& c : field) c = static_cast<char>(r.below(256));
  size_t n = std::strlen(text);
  if (n > N) n = N;
  std::memcpy(field, text, n);
  if (n < N) field[n] = 0;
}

// Whether a field holds `text` as matching reads it: at most N - 1
// characters, case ignored.
template <size_t N>
bool sameName(const char (&stored)[N], const char (&field)[N]) {
  char a[N];
  char b[N];
  copyBounded(a, N, stored);
  copyBounded(b, N, field);
  return equalsIgnoreCase(a, b);
}

int plainFind(const TimeTable& table, const HostVehicle& v) {
  for (int k = 0; k < kTimeTableEntries; ++k) {
    const TimeTableEntry& e = table.entries[k];
    if (sameName(e.driverName, v.driverName) && sameName(e.vehicleName, v.vehicleName) &&
        sameName(e.vehicleClass, v.vehicleClass)) {
      return k;
    }
  }
  return -1;
}

TEST(EntryFinder, FindsWhatAPlainScanFindsAsTheTableFills) {
  auto table = std::make_unique<TimeTable>();
  auto slots = std::make_unique<CarSlots>();
  auto finder = std::make_unique<EntryFinder>(*slots);
  resetTimeTable(*table);
  finder->rebuild(*table);
  const char* drivers[] = {"Ann",
                           "ANN",
                           "Bob",
                           "Bo",
                           "",
                           "A driver name of thirty-one ch",
                           "A driver name of thirty-two chars"};
  Random r(31);
  std::vector<HostVehicle> vehicles(170);
  HostScoring scoring{};
  scoring.session = 5;
  // The same names stay at their positions between rounds but for a few
  // swaps, as in a race; new names keep coming until the table is full.
  int nextDriver = 0;
  for (int round = 0; round < 80; ++round) {
    int count = 100 + r.below(71);
    for (int i = 0; i < count; ++i) {
      HostVehicle& v = vehicles[i];
      if (round > 0 && r.below(8) != 0) continue;
      char name[40];
      int who = r.below(4) == 0 ? nextDriver++ : r.below(12);
      if (who % 5 == 0) {
        std::snprintf(name, sizeof name, "%s", drivers[who % 7]);
      } else {
        std::snprintf(name, sizeof name, who % 3 ? "Driver %d" : "DRIVER %d", who);
      }
      writeField(v.driverName, name, r);
      writeField(v.vehicleName, who % 2 ? "Car" : "CAR", r);
      writeField(v.vehicleClass, who % 4 ? "GT3" : "gt3", r);
      v.place = static_cast<uint8_t>(i + 1);
    }
    scoring.vehicleCount = count;
    scoring.vehicles = vehicles.data();
    slots->beginPass();
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(finder->find(*table, i, vehicles[i]), plainFind(*table, vehicles[i]))
          << "round " << round << " position " << i;
    }
    for (int i = 0; i < count; ++i) trackTopSpeed(*table, i, vehicles[i], *finder);
    updateTimeTable(*table, scoring, *finder);  // takes new entries
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(finder->find(*table, i, vehicles[i]), plainFind(*table, vehicles[i]))
          << "after round " << round << " position " << i;
    }
  }
  int inUse = 0;
  for (const TimeTableEntry& e : table->entries) inUse += e.inUse;
  EXPECT_EQ(inUse, kTimeTableEntries);  // the table filled up on the way
}

}  // namespace
}  // namespace korvanel

// What the timing table's lookups by name keep between calls: the name index
// and the entries one scoring update's top-speed pass found for its vehicles.
// One per plugin object, beside the table it serves, outside its published
// bytes.
#pragma once

#include <cstdint>

#include "timing/name_index.h"
#include "timing/time_table.h"

namespace korvanel {

// Not thread-safe: callers hold the data lock, as for the table itself.
class TimeTableLookup {
 public:
  // The index, brought up to date with `table`'s names (rebuilt when they
  // are not the ones it was built from, whichever table they are in).
  TimeTableNameIndex& refresh(const TimeTable& table);

 private:
  friend struct TimeTable;

  // The entries trackTopSpeeds found for the vehicles of one host record,
  // for update of the same record in the same scoring update: valid only for
  // that table, index version and vehicle array.
  struct FoundEntries {
    const TimeTable* table = nullptr;
    const HostVehicle* vehicles = nullptr;
    int count = 0;
    uint64_t version = 0;
    int16_t entry[kTimeTableEntries] = {};
    float speed[kTimeTableEntries] = {};  // vehicleSpeed of each, whatever the index
  };

  TimeTableNameIndex index_;
  bool built_ = false;
  FoundEntries found_;
  // The fastest lap update() found in `table`, for the republication that
  // follows it in the same scoring update.
  struct FastestLap {
    const TimeTable* table = nullptr;
    int entry = -1;
  } fastest_;
};

}  // namespace korvanel

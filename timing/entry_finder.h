// Finding a car's timing entry by its three names (driver, vehicle, class).
// The answer is always the one a plain scan gives: the lowest entry whose
// names equal the car's, ASCII case ignored, each name read to its
// terminator but never past its field's last byte.
#pragma once

#include <cstdint>

#include "host/host_records.h"
#include "scoring/car_slots.h"
#include "timing/time_table.h"

namespace korvanel {

// A car found before at the same position of the host's array costs one
// comparison of its names with its slot; any other is looked up in a hash of
// the table's names. Callers hold the data lock, as for the table itself.
class EntryFinder {
 public:
  // Keeps its answers in `slots`, which outlive it.
  explicit EntryFinder(CarSlots& slots) : slots_(slots) {}

  // Forgets everything and hashes `table`'s names; at every reset of the
  // table, before the first find.
  void rebuild(const TimeTable& table);
  // The entry carrying the names of `v`, the vehicle at `position` of the
  // host's array (positions beyond the slots are looked up each time).
  // REQUIRES: `table` is that of the latest rebuild, its names written since
  // only with namesWritten following; the slots' beginPass() since `v`'s
  // array last changed. Inline: it runs for every car of every pass.
  int find(const TimeTable& table, int position, const HostVehicle& v) {
    CarSlot* slot = slots_.check(position, v);
    if (slot == nullptr) return lookUp(table, v);
    if (slot->timingEpoch != slots_.timingEpoch()) {
      slot->timingEntry = static_cast<int16_t>(lookUp(table, v));
      slot->timingEpoch = slots_.timingEpoch();
    }
    return slot->timingEntry;
  }
  // Entry k, free until now, has just taken a car's names.
  void namesWritten(const TimeTable& table, int k);

 private:
  // The hash's search for the names of `v`.
  int lookUp(const TimeTable& table, const HostVehicle& v) const;

  static constexpr int kBuckets = 512;  // a power of two, at most 30% full
  static constexpr int16_t kEmpty = -1;
  struct Bucket {
    uint32_t hash;
    int16_t entry;
  };
  Bucket buckets_[kBuckets];
  CarSlots& slots_;
};

}  // namespace korvanel

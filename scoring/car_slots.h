// What one car's names decide, kept per position of the host's vehicle
// array. A car keeps its position from update to update and its names
// change only at a driver swap, so what derives from them is worked out when
// they change rather than at every update.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"
#include "scoring/scoring_info.h"

namespace korvanel {

// Bytes of the three name fields of a host vehicle record, one after another
// in the order driver, vehicle, class (as in a timing entry).
constexpr size_t kCarNameBytes = sizeof(HostVehicle::driverName) +
                                 sizeof(HostVehicle::vehicleName) +
                                 sizeof(HostVehicle::vehicleClass);

struct CarSlot {
  // The name fields as the host last sent them at this position, every
  // byte, the ones after a terminator included: equal images, equal facts.
  char names[kCarNameBytes];
  // The timing entry that carries these names (-1: none), while
  // `timingEpoch` equals the table's CarSlots::timingEpoch().
  int16_t timingEntry;
  uint32_t timingEpoch;
};

// One slot per position of the host's array, up to the block's capacity.
// What invalidates a slot's facts: other names at its position (the slot
// then forgets them all), and for the timing entry a table reset or an
// entry taking names (forgetTimingEntries).
class CarSlots {
 public:
  // The slot of `position`, or null beyond the slots. When it does not hold
  // `v`'s names it takes them and forgets every fact; otherwise its facts
  // still hold as far as the names decide them.
  CarSlot* check(int position, const HostVehicle& v);
  // Every slot's timing entry stops counting.
  void forgetTimingEntries() { ++timingEpoch_; }
  uint32_t timingEpoch() const { return timingEpoch_; }

 private:
  CarSlot slots_[kMaxVehicles] = {};
  uint32_t timingEpoch_ = 1;  // 0 never counts: what a fresh slot holds
};

}  // namespace korvanel

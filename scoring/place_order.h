// Race order of a host update: which host vehicles fill the block's entries,
// lowest place first, never more than the block holds.
#pragma once

#include <cstdint>

#include "host/host_records.h"
#include "scoring/scoring_info.h"

namespace korvanel {

struct PlaceKey {
  uint8_t place;      // compared as an unsigned byte
  int32_t hostIndex;  // the host may send more vehicles than a byte counts
};

// Fills keys[0 .. result-1] with the best-placed min(`count`, 150) vehicles
// of `vehicles`, ordered by place; equal places keep their host order, so
// the result is fully determined by the input. When the host sends more
// than 150 vehicles, the ones dropped are those with the highest places,
// so the leaders always stay. Returns 0 without reading `vehicles` when
// `count` is 0 or less or `vehicles` is null. Linear in `count`, no heap.
int orderByPlace(const HostVehicle* vehicles, int32_t count, PlaceKey (&keys)[kMaxVehicles]);

}  // namespace korvanel

// Race order of a host update: which host vehicles fill the block's entries,
// lowest place first, never more than the block holds.
#pragma once

#include <cstdint>

#include "host/host_records.h"
#include "scoring/scoring_info.h"

namespace korvanel {

// Fills hostIndex[0 .. result-1] with the indices of the best-placed
// min(`count`, 150) vehicles of `vehicles`, ordered by place (compared as
// unsigned bytes); equal places keep their host order, so
// the result is fully determined by the input. When the host sends more
// than 150 vehicles, the ones dropped are those with the highest places,
// so the leaders always stay. Returns 0 without reading `vehicles` when
// `count` is 0 or less or `vehicles` is null. Linear in `count`, no heap.
int orderByPlace(const HostVehicle* vehicles, int32_t count, int32_t (&hostIndex)[kMaxVehicles]);

}  // namespace korvanel

// The session's absolute best time of each sector over all cars, with its
// holder, and the player's own best sectors. Slots follow the host's sector
// code: slot 0 is the third sector, slot 1 the first, slot 2 the second.
// The layout is the reader header's (korvanel/shared_block.h).
#pragma once

#include "host/host_records.h"
#include "korvanel/shared_block.h"

namespace korvanel {

using AbsoluteSectorTimes = KorvanelAbsoluteSectorTimes;

// Offers the sector `v` has most recently completed to the records.
void sampleSectorRecords(AbsoluteSectorTimes& records, const HostVehicle& v);
// Six times to -1.0, names empty, `earlyTimesSeen` 0; the reserved bytes
// stay as they are.
void resetSectorRecords(AbsoluteSectorTimes& records);

}  // namespace korvanel

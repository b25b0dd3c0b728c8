// One host record into the scoring block: the session header, and each
// vehicle into its entry with the plugin's fields that need no other entry.
#pragma once

#include "host/host_records.h"
#include "scoring/car_slots.h"
#include "scoring/scoring_info.h"

namespace korvanel {

// Copies the host's session header field by field (the layouts differ); the
// track name and the host's text are cut to their fields and terminated.
void copyScoringHeader(ScoringInfoV2& block, const HostScoring& scoring);

// Fills entry `e` from host vehicle `v`: the host's record byte for byte
// with each name terminated inside its field, the upper-case images of the
// driver and class names, the lap progress over `lapLength`, the estimated
// position (the host's), and the class fields cleared for grouping. `slot`,
// when not null, is `v`'s slot: its images are taken from it, or kept in it.
void convertVehicle(VehicleInfoV2& e, const HostVehicle& v, double lapLength, CarSlot* slot);

}  // namespace korvanel

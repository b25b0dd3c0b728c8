// The published scoring block: the host's session header, 150 vehicle
// entries in race order with the plugin's derived fields, and a tail about
// the player and the selected class group. The layout is the reader
// header's (korvanel/shared_block.h).
#pragma once

#include <algorithm>
#include <cstdint>

#include "host/host_records.h"
#include "korvanel/shared_block.h"

namespace korvanel {

using VehicleInfoV2 = KorvanelVehicleInfoV2;
using ScoringInfoV2 = KorvanelScoringInfoV2;

constexpr int kMaxVehicles = KORVANEL_MAX_VEHICLES;

// Entries that belong to the current update: the host's count, never more
// than the block holds.
inline int countedVehicles(const ScoringInfoV2& block) {
  return std::clamp<int>(block.vehicleCount, 0, kMaxVehicles);
}

}  // namespace korvanel

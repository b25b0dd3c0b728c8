// Class grouping: the player's entry, the members of the selected class
// row numbered in race order, and the block's tail.
#pragma once

#include <cstdint>

#include "scoring/car_slots.h"
#include "scoring/scoring_info.h"

namespace korvanel {

class PluginConfig;

// Finds the player's entry (the last that qualifies), then groups the
// counted entries by row `row` of `config` (a display's choice; a row beyond
// the table groups nothing): inClassGroup, classPosition and
// previousGroupMember of each entry, and the tail's player and class fields.
// `slotOfEntry[i]` is entry i's car slot, or null; with `slots` the slots'
// answers are used while they hold and kept otherwise.
// REQUIRES: slotOfEntry holds countedVehicles(block) pointers when `slots`
// is not null.
void groupClasses(ScoringInfoV2& block, const PluginConfig& config, int32_t row, CarSlots* slots,
                  CarSlot* const* slotOfEntry);

}  // namespace korvanel

// Team marks: drivers named in the configured team list.
#pragma once

#include "scoring/car_slots.h"
#include "scoring/scoring_info.h"

namespace korvanel {

class PluginConfig;

// Sets teamMember of every counted entry: 1 for a driver on the team list
// (ASCII case ignored), else 0; all 0 while the player drives
// (block.playerIndex set) unless the configuration asks for realtime marks.
// `slots` and `slotOfEntry` as for groupClasses.
void markTeamMembers(ScoringInfoV2& block, const PluginConfig& config, CarSlots* slots,
                     CarSlot* const* slotOfEntry);

}  // namespace korvanel

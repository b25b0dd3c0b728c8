// Gaps within the class group and to the player's car, summed from the
// host's per-car intervals.
#pragma once

#include "scoring/scoring_info.h"

namespace korvanel {

// The four class gap fields of each member of the class group.
// REQUIRES: the block grouped (groupClasses).
void computeClassGaps(ScoringInfoV2& block);
// timeGapToPlayer and lapGapToPlayer of every counted entry, the player's
// own zero; nothing without a player.
// REQUIRES: the block grouped (groupClasses), which finds the player.
void computePlayerGaps(ScoringInfoV2& block);

}  // namespace korvanel

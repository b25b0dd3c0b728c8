// How one class-row pattern decides whether an entry of the scoring block
// belongs to the class group.
#pragma once

#include "scoring/scoring_info.h"

namespace korvanel {

enum class PatternMatch {
  kNone,
  kMember,            // numbered within the group
  kMemberKeepsPlace,  // "*": the class position is the race position
};

// Tests `pattern` (upper case, terminated) against `entry`, whose texts are
// terminated. `player` is the player's entry of this update, or null.
//   "*..."  every entry, keeping its place
//   "@..."  the player's class, case ignored
//   "#X"    class name contains X
//   "$#X"   driver name contains X
//   "$X"    driver name is X, case ignored
// A test that fails falls through to the next that applies; every pattern
// not beginning with "#" ends with the class name compared whole with the
// whole pattern, case ignored.
PatternMatch matchPattern(const char* pattern, const VehicleInfoV2& entry,
                          const VehicleInfoV2* player);

}  // namespace korvanel

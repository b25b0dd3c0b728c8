// Places and gaps of every car within its own class (the cars' own
// vehicleClass names), whatever class row the plugin groups by, and each
// class as a whole with a colour of its own.
#pragma once

#include <string>
#include <vector>

#include "korvanel/shared_block.h"
#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

// Works out `classes` and `standings` (race order) from the first `count`
// vehicles of `scoring`, which are in race order. `bestLap[i]` is vehicle
// i's best lap (-1 none). Colours ("#rrggbb") follow the class name: the
// same set of classes always gets the same colours, distinct up to twelve
// classes. Reuses the vectors' storage.
void workOutClasses(const KorvanelScoringInfoV2& scoring, int count, const double* bestLap,
                    std::vector<ClassSummary>& classes, std::vector<ClassStanding>& standings);

}  // namespace korvanel::tools::engineer

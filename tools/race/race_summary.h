// What really happened in a race, as JSON, for checking what a plugin made
// of it: each car's place, laps and best times, the best sectors, and the
// distance the player drove.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/race/race_model.h"

namespace korvanel::tools {

nlohmann::json raceSummary(const RaceModel& model);

}  // namespace korvanel::tools

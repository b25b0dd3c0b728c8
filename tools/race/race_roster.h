// Who races: driver names, the split of the grid into classes, vehicle
// names and the player's grid slot.
#pragma once

#include <string>
#include <vector>

#include "tools/race/random.h"

namespace korvanel::tools {

// `count` distinct driver names in a seeded order.
std::vector<std::string> driverNames(int count, Random& random);
// Class of grid slot `slot`: the fastest class fills the front of the grid.
int classOfSlot(int slot, int cars, int classes);
// The middle of the second class, or of the field with one class.
int defaultPlayerSlot(int cars, int classes);
std::string vehicleName(const char* make, const char* className, int slot);

}  // namespace korvanel::tools

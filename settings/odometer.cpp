// Placeholder until the odometer store lands.
#include "settings/odometer.h"

#include <cstdio>

namespace korvanel {

void Odometer::reset() {
  std::snprintf(filePath, sizeof filePath, "PLUGINS\\%s\\KM.txt", "KORVANEL");
  vehicleKey[0] = 0;
  trackKey[0] = 0;
  vehicleTotal = 0.0;
  trackTotal = 0.0;
  loaded = false;
  dirty = false;
}

void Odometer::select(char*, char*) {}

void Odometer::add(double distance) {
  dirty = true;
  vehicleTotal += distance;
  trackTotal += distance;
}

void Odometer::save() { dirty = false; }

}  // namespace korvanel

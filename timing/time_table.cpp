// Placeholder until the timing table lands.
#include "timing/time_table.h"

namespace korvanel {

void TimeTableEntry::clear() {
  driverName[0] = vehicleName[0] = vehicleClass[0] = 0;
  vehicleIndex = -1;
  place = 0;
  bestSector1 = bestSector2 = bestLapTime = -1.0f;
  topSpeed = stintTopSpeed = 0.0f;
  inUse = isPlayerVehicle = seenThisUpdate = 0;
  vehicleStatus = 0;
}

void TimeTable::reset() {
  for (auto& e : entries) e.clear();
  tail.fastestLapTime = tail.fastestLapSector1 = tail.fastestLapSector2 = -1.0f;
  tail.fastestLapDriver[0] = 0;
  tail.earlyTimesSeen = 0;
  tail.playerBestLapTime = tail.playerBestSector1 = tail.playerBestSector2 = -1.0f;
}
void TimeTable::trackTopSpeeds(const HostScoring&) {}
void TimeTable::copyTopSpeeds(ScoringInfoV2&) const {}
void TimeTable::update(const HostScoring&) {}
bool TimeTable::findFastestLap(TimeTableEntry& result) const {
  result.clear();
  return false;
}
void TimeTable::republishFastestLap(bool) {}

}  // namespace korvanel

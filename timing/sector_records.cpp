// The absolute sector records: each vehicle offers the time of the sector it
// has most recently completed, derived from the host's cumulative times.
#include "timing/sector_records.h"

#include "text/ascii_text.h"
#include "timing/host_values.h"

namespace korvanel {
namespace {

// The time of the sector that `v` has most recently completed and its slot,
// or false when the vehicle has nothing to offer.
bool completedSector(const HostVehicle& v, float& time, int& slot) {
  double t;
  switch (v.sector) {
    case 1:  // the third sector of the lap just completed
      if (!validTime(v.lastLapTime) || !validTime(v.lastSector2)) return false;
      t = v.lastLapTime - v.lastSector2;
      slot = 0;
      break;
    case 2:  // the first sector
      if (!validTime(v.currentSector1)) return false;
      t = v.currentSector1;
      slot = 1;
      break;
    case 0:  // the second sector
      if (!validTime(v.currentSector2) || !validTime(v.currentSector1)) return false;
      t = v.currentSector2 - v.currentSector1;
      slot = 2;
      break;
    default:
      return false;
  }
  // Both operands are floats' worth, so the difference narrows safely; what
  // counts is the narrowed value.
  time = static_cast<float>(t);
  return time > 0.0f;
}

}  // namespace

void sampleSectorRecords(AbsoluteSectorTimes& records, const HostVehicle& v) {
  float t;
  int slot;
  if (!completedSector(v, t, slot)) return;
  if (records.recordTime[slot] < 0.0f || t < records.recordTime[slot]) {
    records.recordTime[slot] = t;
    copyBounded(records.recordHolder[slot], sizeof records.recordHolder[slot], v.driverName);
  }
  if (isPlayerVehicle(v) &&
      (records.playerRecordTime[slot] < 0.0f || t < records.playerRecordTime[slot])) {
    records.playerRecordTime[slot] = t;
  }
}

void resetSectorRecords(AbsoluteSectorTimes& records) {
  for (int s = 0; s < 3; ++s) {
    records.recordTime[s] = -1.0f;
    records.playerRecordTime[s] = -1.0f;
    records.recordHolder[s][0] = 0;
  }
  records.earlyTimesSeen = 0;
}

}  // namespace korvanel

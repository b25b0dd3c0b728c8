// The timing table: per-driver best laps and top speeds, the session's
// fastest lap and the player's best lap.
#include "timing/time_table.h"

#include "text/ascii_text.h"
#include "timing/entry_finder.h"
#include "timing/host_values.h"

namespace korvanel {
namespace {

// A lap as the host reports it: first-sector time, cumulative two-sector
// time, lap time.
struct Lap {
  double sector1;
  double sector2;
  double lapTime;
};

Lap bestLapOf(const HostVehicle& v) { return {v.bestSector1, v.bestSector2, v.bestLapTime}; }
Lap lastLapOf(const HostVehicle& v) { return {v.lastSector1, v.lastSector2, v.lastLapTime}; }

void storeLap(TimeTableEntry& e, const Lap& lap) {
  e.bestLapTime = static_cast<float>(lap.lapTime);
  e.bestSector1 = storedSector(lap.sector1);
  e.bestSector2 = storedSector(lap.sector2);
}

// Lap-time comparisons take the host's double against the stored float
// widened, never the other way round.
bool fasterThanStored(double lapTime, float stored) {
  return stored == -1.0f || lapTime < static_cast<double>(stored);
}

void samplePlayerBest(TimeTable& table, const HostVehicle& v) {
  if (v.sector != 1 || !validTime(v.lastLapTime) || !validTime(v.lastSector1) ||
      !validTime(v.lastSector2)) {
    return;
  }
  if (fasterThanStored(v.lastLapTime, table.playerBestLapTime)) {
    table.playerBestSector1 = static_cast<float>(v.lastSector1);
    table.playerBestSector2 = static_cast<float>(v.lastSector2);
    table.playerBestLapTime = static_cast<float>(v.lastLapTime);
  }
}

void takeNewEntry(TimeTableEntry& e, const HostVehicle& v, int32_t index, float speed,
                  bool player) {
  e.stintTopSpeed = speed;
  e.topSpeed = 0.0f;
  e.seenThisUpdate = 1;
  e.vehicleIndex = index;
  e.place = v.place;
  copyBounded(e.driverName, sizeof e.driverName, v.driverName);
  copyBounded(e.vehicleName, sizeof e.vehicleName, v.vehicleName);
  copyBounded(e.vehicleClass, sizeof e.vehicleClass, v.vehicleClass);
  e.isPlayerVehicle = player ? 1 : 0;
  e.vehicleStatus = v.vehicleStatus;
  e.bestLapTime = e.bestSector1 = e.bestSector2 = -1.0f;
  e.inUse = 1;

  // The faster of the two valid laps; the last one on a tie.
  bool lastValid = validTime(v.lastLapTime);
  if (validTime(v.bestLapTime) && (!lastValid || v.bestLapTime < v.lastLapTime)) {
    storeLap(e, bestLapOf(v));
  } else if (lastValid) {
    storeLap(e, lastLapOf(v));
  }
}

void updateMatchedEntry(TimeTableEntry& e, const HostVehicle& v, int32_t index, float speed,
                        bool player, bool timingSession) {
  if (v.inPits != 0) e.stintTopSpeed = 0.0f;
  e.vehicleIndex = index;
  e.place = v.place;
  e.isPlayerVehicle = player ? 1 : 0;
  e.vehicleStatus = v.vehicleStatus;
  e.inUse = 1;
  e.seenThisUpdate = 1;

  if (timingSession) {
    if (speed > e.topSpeed) e.topSpeed = speed;
  } else if (speed > e.stintTopSpeed) {
    e.stintTopSpeed = speed;
  }

  // The last lap, while there is one, is what the host has just completed;
  // the best lap is only looked at without it.
  const bool hasLast = validTime(v.lastLapTime);
  if (!hasLast && !validTime(v.bestLapTime)) return;
  const Lap candidate = hasLast ? lastLapOf(v) : bestLapOf(v);
  if (!fasterThanStored(candidate.lapTime, e.bestLapTime)) return;
  storeLap(e, candidate);
  if (!timingSession) e.topSpeed = e.stintTopSpeed;
}

void publishFastestLap(TimeTable& table, const TimeTableEntry& found) {
  table.fastestLapSector1 = found.bestSector1;
  table.fastestLapSector2 = found.bestSector2;
  table.fastestLapTime = found.bestLapTime;
  copyBounded(table.fastestLapDriver, sizeof table.fastestLapDriver, found.driverName);
}

void clearFastestLap(TimeTable& table) {
  table.fastestLapTime = table.fastestLapSector1 = table.fastestLapSector2 = -1.0f;
  table.fastestLapDriver[0] = 0;
}

// The lowest entry with inUse 0 at or after `from`, or kTimeTableEntries.
int firstFreeFrom(const TimeTable& table, int from) {
  while (from < kTimeTableEntries && table.entries[from].inUse != 0) ++from;
  return from;
}

}  // namespace

void resetTimeTable(TimeTable& table) {
  for (TimeTableEntry& e : table.entries) {
    e.driverName[0] = e.vehicleName[0] = e.vehicleClass[0] = 0;
    e.vehicleIndex = -1;
    e.place = 0;
    e.bestSector1 = e.bestSector2 = e.bestLapTime = -1.0f;
    e.topSpeed = e.stintTopSpeed = 0.0f;
    e.inUse = e.isPlayerVehicle = e.seenThisUpdate = 0;
    e.vehicleStatus = 0;
  }
  clearFastestLap(table);
  table.earlyTimesSeen = 0;
  table.playerBestLapTime = table.playerBestSector1 = table.playerBestSector2 = -1.0f;
}

float trackTopSpeed(TimeTable& table, int position, const HostVehicle& v, EntryFinder& finder) {
  float speed = vehicleSpeed(v);
  int k = finder.find(table, position, v);
  if (k >= 0 && speed > table.entries[k].topSpeed) table.entries[k].topSpeed = speed;
  return speed;
}

int updateTimeTable(TimeTable& table, const HostScoring& scoring, EntryFinder& finder,
                    const float* speeds) {
  TimeTableEntry* entries = table.entries;
  for (TimeTableEntry& e : table.entries) e.seenThisUpdate = 0;

  const int count = hostVehicleCount(scoring);
  const bool timingSession = scoring.session >= 10 && scoring.session <= 13;
  // Entries only ever come into use during an update, so the first free
  // one moves forward only.
  int freeSlot = firstFreeFrom(table, 0);
  for (int32_t i = 0; i < count; ++i) {
    const HostVehicle& v = scoring.vehicles[i];
    float speed = speeds != nullptr && i < kMaxVehicles ? speeds[i] : vehicleSpeed(v);
    bool player = isPlayerVehicle(v);
    if (player) samplePlayerBest(table, v);

    int k = finder.find(table, i, v);
    if (k >= 0) {
      updateMatchedEntry(entries[k], v, i, speed, player, timingSession);
    } else if (freeSlot < kTimeTableEntries) {
      k = freeSlot;
      takeNewEntry(entries[k], v, i, speed, player);
      finder.namesWritten(table, k);
    } else {
      continue;  // more drivers than entries: left out of the table
    }
    if (k == freeSlot) freeSlot = firstFreeFrom(table, k + 1);
  }

  // Publication step A: a lap faster than the published one is published;
  // anything else clears the tail for step B to fill.
  const int best = fastestLapEntry(table);
  if (best >= 0 && entries[best].bestLapTime > 0.0f &&
      (table.fastestLapTime < 0.0f || entries[best].bestLapTime < table.fastestLapTime)) {
    publishFastestLap(table, entries[best]);
  } else {
    clearFastestLap(table);
  }
  return best;
}

int fastestLapEntry(const TimeTable& table) {
  // Only a lap time that is a positive number qualifies; the table stores
  // no other, but the block is open to in-process writers. The choice of
  // the faster by selection: which entry is faster follows no pattern a
  // predictor learns.
  int best = -1;
  float bestTime = 0.0f;
  for (int k = 0; k < kTimeTableEntries; ++k) {
    const TimeTableEntry& e = table.entries[k];
    float t = e.bestLapTime;
    bool qualifies =
        e.inUse != 0 && e.seenThisUpdate != 0 && e.vehicleStatus < 3 && t > 0.0f && t <= FLT_MAX;
    bool faster = qualifies && (best < 0 || bestTime > t);
    best = faster ? k : best;
    bestTime = faster ? t : bestTime;
  }
  return best;
}

void republishFastestLap(TimeTable& table, bool earlyPhase, int best) {
  if (best < 0 || !(table.entries[best].bestLapTime > 0.0f)) return;
  const TimeTableEntry& found = table.entries[best];
  if (table.fastestLapTime == -1.0f || table.fastestLapTime != found.bestLapTime) {
    publishFastestLap(table, found);
    if (!earlyPhase) table.earlyTimesSeen = 0;
  }
}

}  // namespace korvanel

// The timing table: per-driver best laps and top speeds, the session's
// fastest lap and the player's best lap.
#include "timing/time_table.h"

#include "text/ascii_text.h"
#include "timing/entry_finder.h"
#include "timing/host_values.h"

namespace korvanel {
namespace {

bool isTimingSession(int32_t session) { return session >= 10 && session <= 13; }

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

void samplePlayerBest(TimeTableTail& tail, const HostVehicle& v) {
  if (v.sector != 1 || !validTime(v.lastLapTime) || !validTime(v.lastSector1) ||
      !validTime(v.lastSector2)) {
    return;
  }
  if (fasterThanStored(v.lastLapTime, tail.playerBestLapTime)) {
    tail.playerBestSector1 = static_cast<float>(v.lastSector1);
    tail.playerBestSector2 = static_cast<float>(v.lastSector2);
    tail.playerBestLapTime = static_cast<float>(v.lastLapTime);
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

  Lap best = bestLapOf(v);
  Lap last = lastLapOf(v);
  bool bestValid = validTime(best.lapTime);
  bool lastValid = validTime(last.lapTime);
  if (bestValid && lastValid) {
    storeLap(e, best.lapTime < last.lapTime ? best : last);
  } else if (bestValid) {
    storeLap(e, best);
  } else if (lastValid) {
    storeLap(e, last);
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
  Lap candidate;
  if (validTime(v.lastLapTime)) {
    candidate = lastLapOf(v);
  } else if (validTime(v.bestLapTime)) {
    candidate = bestLapOf(v);
  } else {
    return;
  }
  if (!fasterThanStored(candidate.lapTime, e.bestLapTime)) return;
  storeLap(e, candidate);
  if (!timingSession) e.topSpeed = e.stintTopSpeed;
}

void publishFastestLap(TimeTableTail& tail, const TimeTableEntry& found) {
  tail.fastestLapSector1 = found.bestSector1;
  tail.fastestLapSector2 = found.bestSector2;
  tail.fastestLapTime = found.bestLapTime;
  copyBounded(tail.fastestLapDriver, sizeof tail.fastestLapDriver, found.driverName);
}

void clearFastestLap(TimeTableTail& tail) {
  tail.fastestLapTime = tail.fastestLapSector1 = tail.fastestLapSector2 = -1.0f;
  tail.fastestLapDriver[0] = 0;
}

// The lowest entry with inUse 0 at or after `from`, or kTimeTableEntries.
int firstFreeFrom(const TimeTable& table, int from) {
  while (from < kTimeTableEntries && table.entries[from].inUse != 0) ++from;
  return from;
}

}  // namespace

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
  for (TimeTableEntry& e : entries) e.clear();
  clearFastestLap(tail);
  tail.earlyTimesSeen = 0;
  tail.playerBestLapTime = tail.playerBestSector1 = tail.playerBestSector2 = -1.0f;
}

void TimeTable::trackTopSpeeds(const HostScoring& scoring, EntryFinder& finder) {
  int count = hostVehicleCount(scoring);
  for (int i = 0; i < count; ++i) trackTopSpeed(i, scoring.vehicles[i], finder);
}

float TimeTable::trackTopSpeed(int position, const HostVehicle& v, EntryFinder& finder) {
  float speed = vehicleSpeed(v);
  int k = finder.find(*this, position, v);
  if (k >= 0 && speed > entries[k].topSpeed) entries[k].topSpeed = speed;
  return speed;
}

int TimeTable::update(const HostScoring& scoring, EntryFinder& finder, const float* speeds) {
  for (TimeTableEntry& e : entries) e.seenThisUpdate = 0;

  int count = hostVehicleCount(scoring);
  if (count > 0) {
    bool timingSession = isTimingSession(scoring.session);
    // Entries only ever come into use during an update, so the first free
    // one moves forward only.
    int freeSlot = firstFreeFrom(*this, 0);
    for (int32_t i = 0; i < count; ++i) {
      const HostVehicle& v = scoring.vehicles[i];
      float speed = speeds != nullptr && i < kMaxVehicles ? speeds[i] : vehicleSpeed(v);
      bool player = isPlayerVehicle(v);
      if (player) samplePlayerBest(tail, v);

      int k = finder.find(*this, i, v);
      if (k >= 0) {
        updateMatchedEntry(entries[k], v, i, speed, player, timingSession);
      } else if (freeSlot < kTimeTableEntries) {
        k = freeSlot;
        takeNewEntry(entries[k], v, i, speed, player);
        finder.namesWritten(*this, k);
      } else {
        continue;  // more drivers than entries: left out of the table
      }
      if (k == freeSlot) freeSlot = firstFreeFrom(*this, k + 1);
    }
  }

  // Publication step A: a lap faster than the published one is published;
  // anything else clears the tail for step B to fill.
  const int best = fastestLapEntry();
  if (best >= 0 && entries[best].bestLapTime > 0.0f &&
      (tail.fastestLapTime < 0.0f || entries[best].bestLapTime < tail.fastestLapTime)) {
    publishFastestLap(tail, entries[best]);
  } else {
    clearFastestLap(tail);
  }
  return best;
}

int TimeTable::fastestLapEntry() const {
  // Only a lap time that is a positive number qualifies; the table stores
  // no other, but the block is open to in-process writers. The choice of
  // the faster by selection: which entry is faster follows no pattern a
  // predictor learns.
  int best = -1;
  float bestTime = 0.0f;
  for (int k = 0; k < kTimeTableEntries; ++k) {
    const TimeTableEntry& e = entries[k];
    float t = e.bestLapTime;
    bool qualifies =
        e.inUse != 0 && e.seenThisUpdate != 0 && e.vehicleStatus < 3 && t > 0.0f && t <= FLT_MAX;
    bool faster = qualifies && (best < 0 || bestTime > t);
    best = faster ? k : best;
    bestTime = faster ? t : bestTime;
  }
  return best;
}

bool TimeTable::findFastestLap(TimeTableEntry& result) const {
  int best = fastestLapEntry();
  if (best < 0) {
    result.clear();
    return false;
  }
  result = entries[best];
  return true;
}

void TimeTable::republishFastestLap(bool earlyPhase, int best) {
  if (best < 0 || !(entries[best].bestLapTime > 0.0f)) return;
  const TimeTableEntry& found = entries[best];
  if (tail.fastestLapTime == -1.0f || tail.fastestLapTime != found.bestLapTime) {
    publishFastestLap(tail, found);
    if (!earlyPhase) tail.earlyTimesSeen = 0;
  }
}

}  // namespace korvanel

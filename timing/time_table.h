// The timing table: one entry per driver of the session (driver, vehicle and
// class name), with the best lap seen and the top speed, and a tail naming
// the session's fastest lap and the player's best lap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"

namespace korvanel {

class EntryFinder;

#pragma pack(push, 4)

struct TimeTableEntry {
  char driverName[32];
  char vehicleName[64];
  char vehicleClass[32];
  int32_t vehicleIndex;  // -1 in a cleared entry
  int32_t place;
  float bestSector1;  // -1.0 = none
  float bestSector2;  // cumulative sectors one and two
  float bestLapTime;
  float topSpeed;
  float stintTopSpeed;
  uint8_t inUse;
  uint8_t isPlayerVehicle;
  uint8_t seenThisUpdate;
  int8_t vehicleStatus;

  void clear();
};

struct TimeTableTail {
  float fastestLapTime;
  float fastestLapSector1;
  float fastestLapSector2;
  char fastestLapDriver[32];
  uint8_t earlyTimesSeen;
  uint8_t reserved45[3];
  float playerBestLapTime;
  float playerBestSector1;
  float playerBestSector2;
};

constexpr int kTimeTableEntries = 150;

// Lookups by name go through an EntryFinder kept beside the table, outside
// its published bytes (timing/entry_finder.h).
struct TimeTable {
  TimeTableEntry entries[kTimeTableEntries];
  TimeTableTail tail;

  // Clears the tail and every entry.
  void reset();
  // The two per-update steps of a scoring update, run in this order on the
  // same host record. Lookups by name go through `finder`.
  // REQUIRES: finder.rebuild(*this) since the table was last reset or its
  // names written other than by these calls.
  // Raises `topSpeed` of the entries of the vehicles present; creates none.
  void trackTopSpeeds(const HostScoring& scoring, EntryFinder& finder);
  // The same for one vehicle, `v` at `position` of the host's array;
  // returns its speed (vehicleSpeed), for update().
  float trackTopSpeed(int position, const HostVehicle& v, EntryFinder& finder);
  // The per-update bookkeeping, ending with the first publication step.
  // Returns the entry holding the update's fastest qualifying lap, or -1,
  // for republishFastestLap.
  // `speeds`, when given, holds the speed trackTopSpeed returned for each
  // of the first min(count, 150) vehicles of the same record.
  int update(const HostScoring& scoring, EntryFinder& finder, const float* speeds = nullptr);
  // The fastest qualifying lap of the update; `result` gets a full copy.
  bool findFastestLap(TimeTableEntry& result) const;
  // The second publication step, with what update() returned; clears
  // `earlyTimesSeen` outside the early phase.
  // REQUIRES: the entries unchanged since that update().
  void republishFastestLap(bool earlyPhase, int fastest);

 private:
  // The index of the entry findFastestLap() copies, or -1.
  int fastestLapEntry() const;
};

#pragma pack(pop)

static_assert(sizeof(TimeTableEntry) == 160);
static_assert(offsetof(TimeTableEntry, vehicleName) == 32);
static_assert(offsetof(TimeTableEntry, vehicleClass) == 96);
static_assert(offsetof(TimeTableEntry, vehicleIndex) == 128);
static_assert(offsetof(TimeTableEntry, place) == 132);
static_assert(offsetof(TimeTableEntry, bestSector1) == 136);
static_assert(offsetof(TimeTableEntry, bestSector2) == 140);
static_assert(offsetof(TimeTableEntry, bestLapTime) == 144);
static_assert(offsetof(TimeTableEntry, topSpeed) == 148);
static_assert(offsetof(TimeTableEntry, stintTopSpeed) == 152);
static_assert(offsetof(TimeTableEntry, inUse) == 156);
static_assert(offsetof(TimeTableEntry, isPlayerVehicle) == 157);
static_assert(offsetof(TimeTableEntry, seenThisUpdate) == 158);
static_assert(offsetof(TimeTableEntry, vehicleStatus) == 159);
static_assert(sizeof(TimeTableTail) == 60);
static_assert(offsetof(TimeTableTail, fastestLapSector1) == 4);
static_assert(offsetof(TimeTableTail, fastestLapSector2) == 8);
static_assert(offsetof(TimeTableTail, fastestLapDriver) == 12);
static_assert(offsetof(TimeTableTail, earlyTimesSeen) == 44);
static_assert(offsetof(TimeTableTail, playerBestLapTime) == 48);
static_assert(offsetof(TimeTableTail, playerBestSector1) == 52);
static_assert(offsetof(TimeTableTail, playerBestSector2) == 56);
static_assert(sizeof(TimeTable) == 24060);
static_assert(offsetof(TimeTable, tail) == 24000);

}  // namespace korvanel

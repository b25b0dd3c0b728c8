// The timing table: one entry per driver of the session (driver, vehicle and
// class name), with the best lap seen and the top speed, and a tail naming
// the session's fastest lap and the player's best lap. The layout is the
// reader header's (korvanel/shared_block.h).
#pragma once

#include "host/host_records.h"
#include "korvanel/shared_block.h"

namespace korvanel {

class EntryFinder;

using TimeTableEntry = KorvanelTimeTableEntry;
using TimeTable = KorvanelTimeTable;

constexpr int kTimeTableEntries = KORVANEL_TIME_TABLE_ENTRIES;

// Clears the tail and every entry: empty names, vehicleIndex -1, times
// -1.0, speeds 0, flags 0.
void resetTimeTable(TimeTable& table);

// The steps of a scoring update on one host record, in this order:
// trackTopSpeed for each vehicle in host order, updateTimeTable,
// republishFastestLap. Lookups by name go through `finder`.
// REQUIRES: finder.rebuild(table) since the table was last reset or its
// names written other than by these calls.

// Raises `topSpeed` of the entry of `v`, the vehicle at `position` of the
// host's array, if it has one (creates none); returns vehicleSpeed(v).
float trackTopSpeed(TimeTable& table, int position, const HostVehicle& v, EntryFinder& finder);
// The per-update bookkeeping, ending with the first publication step.
// Returns the entry holding the update's fastest qualifying lap, or -1, for
// republishFastestLap. `speeds`, when given, holds the speed trackTopSpeed
// returned for each of the first min(count, 150) vehicles of the record.
int updateTimeTable(TimeTable& table, const HostScoring& scoring, EntryFinder& finder,
                    const float* speeds = nullptr);
// The second publication step, with what updateTimeTable returned; clears
// `earlyTimesSeen` outside the early phase.
// REQUIRES: the entries unchanged since that updateTimeTable.
void republishFastestLap(TimeTable& table, bool earlyPhase, int fastest);
// The entry holding the fastest qualifying lap (in use, seen in the latest
// update, status below 3, a positive finite lap time), or -1.
int fastestLapEntry(const TimeTable& table);

}  // namespace korvanel

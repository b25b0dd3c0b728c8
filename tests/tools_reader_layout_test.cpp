// The reader header for display programs describes the very bytes the
// plugin publishes: every field sits where the plugin's own layout puts it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "korvanel/shared_block.h"
#include "publish/shared_block_layout.h"

namespace {

using namespace korvanel;

#define SAME_PLACE(readerType, readerField, coreType, coreField)                    \
  static_assert(offsetof(readerType, readerField) == offsetof(coreType, coreField), \
                #readerType "." #readerField)

static_assert(sizeof(KorvanelSharedBlock) == sizeof(SharedBlock));
static_assert(sizeof(KorvanelHostState) == sizeof(HostState));
static_assert(sizeof(KorvanelVehicleInfoV2) == sizeof(VehicleInfoV2));
static_assert(sizeof(KorvanelHostTelemetry) == sizeof(HostTelemetry));
static_assert(KORVANEL_SHARED_BLOCK_SIZE == kSharedBlockSize);
static_assert(KORVANEL_MAX_VEHICLES == kMaxVehicles);
static_assert(KORVANEL_RESET_VEHICLE_DISTANCE == kResetVehicleDistance);
static_assert(KORVANEL_RESET_TRACK_DISTANCE == kResetTrackDistance);

SAME_PLACE(KorvanelSharedBlock, scoring, SharedBlock, scoring);
SAME_PLACE(KorvanelSharedBlock, state, SharedBlock, state);
SAME_PLACE(KorvanelSharedBlock, scoringPublished, SharedBlock, scoringPublished);
SAME_PLACE(KorvanelSharedBlock, timeTable, SharedBlock, timeTable);
SAME_PLACE(KorvanelSharedBlock, sectorTimes, SharedBlock, sectorTimes);
SAME_PLACE(KorvanelSharedBlock, dataLockAddress, SharedBlock, dataLockAddress);

SAME_PLACE(KorvanelHostState, inRealtime, HostState, inRealtime);
SAME_PLACE(KorvanelHostState, vehicleDistance, HostState, vehicleDistance);
SAME_PLACE(KorvanelHostState, selectedClassRow, HostState, selectedClassRow);
SAME_PLACE(KorvanelHostState, kersRemaining, HostState, kersRemaining);

SAME_PLACE(KorvanelTelemetryInfoV2, estimatedLapTime, TelemetryInfoV2, estimatedLapTime);
SAME_PLACE(KorvanelTelemetryInfoV2, distancePerFuel, TelemetryInfoV2, distancePerFuel);
SAME_PLACE(KorvanelHostTelemetry, fuelLevel, HostTelemetry, fuelLevel);
SAME_PLACE(KorvanelHostTelemetry, localVelocity, HostTelemetry, localVelocity);

SAME_PLACE(KorvanelScoringInfoV2, currentTime, ScoringInfoV2, currentTime);
SAME_PLACE(KorvanelScoringInfoV2, hostText, ScoringInfoV2, hostText);
SAME_PLACE(KorvanelScoringInfoV2, phase, ScoringInfoV2, phase);
SAME_PLACE(KorvanelScoringInfoV2, vehicles, ScoringInfoV2, vehicles);
SAME_PLACE(KorvanelScoringInfoV2, noClassGroup, ScoringInfoV2, noClassGroup);

SAME_PLACE(KorvanelVehicleInfoV2, host.place, VehicleInfoV2, host.place);
SAME_PLACE(KorvanelVehicleInfoV2, host.timeBehindLeader, VehicleInfoV2, host.timeBehindLeader);
SAME_PLACE(KorvanelVehicleInfoV2, host.orientation, VehicleInfoV2, host.orientation);
SAME_PLACE(KorvanelVehicleInfoV2, topSpeed, VehicleInfoV2, topSpeed);
SAME_PLACE(KorvanelVehicleInfoV2, lapGapToPlayer, VehicleInfoV2, lapGapToPlayer);
SAME_PLACE(KorvanelVehicleInfoV2, estimatedPosition, VehicleInfoV2, estimatedPosition);

SAME_PLACE(KorvanelTimeTable, fastestLapTime, TimeTable, tail.fastestLapTime);
SAME_PLACE(KorvanelTimeTable, fastestLapDriver, TimeTable, tail.fastestLapDriver);
SAME_PLACE(KorvanelTimeTable, playerBestSector2, TimeTable, tail.playerBestSector2);
SAME_PLACE(KorvanelTimeTableEntry, stintTopSpeed, TimeTableEntry, stintTopSpeed);
SAME_PLACE(KorvanelAbsoluteSectorTimes, playerRecordTime, AbsoluteSectorTimes, playerRecordTime);

// A block written through the plugin's types reads back through the
// reader's types, value for value.
TEST(ReaderHeader, ReadsWhatThePluginWrites) {
  static SharedBlock written;
  std::memset(&written, 0, sizeof written);
  written.state.vehicleDistance = 1234.5;
  written.state.selectedClassRow = 3;
  written.scoring.vehicleCount = 2;
  written.scoring.vehicles[1].host.place = 2;
  written.scoring.vehicles[1].timeGapToPlayer = 1.25f;
  std::strcpy(written.timeTable.tail.fastestLapDriver, "Jane Doe");
  written.sectorTimes.recordTime[2] = 31.5f;

  static KorvanelSharedBlock read;
  std::memcpy(&read, &written, sizeof read);
  EXPECT_EQ(1234.5, read.state.vehicleDistance);
  EXPECT_EQ(3, read.state.selectedClassRow);
  EXPECT_EQ(2, read.scoring.vehicleCount);
  EXPECT_EQ(2, read.scoring.vehicles[1].host.place);
  EXPECT_EQ(1.25f, read.scoring.vehicles[1].timeGapToPlayer);
  EXPECT_STREQ("Jane Doe", read.timeTable.fastestLapDriver);
  EXPECT_EQ(31.5f, read.sectorTimes.recordTime[KORVANEL_SECTOR_SECOND]);
}

}  // namespace

/* Korvanel's named shared block, for display programs in other processes.
 *
 * Self-contained (standard headers only), usable from C and C++. Open the
 * shared-memory object named KORVANEL_SHARED_BLOCK_NAME (on Windows a file
 * mapping of that name; on POSIX systems shm_open of "/" followed by the
 * name; a host under Wine publishes there too), map
 * KORVANEL_SHARED_BLOCK_SIZE bytes and view them as a KorvanelSharedBlock. The plugin writes the
 * block without a lock; its sequence counter tells a reader whether a copy is whole:
 *
 *   1. read `sequence` (an acquire load); if it is odd, the plugin is
 *      writing: try again;
 *   2. copy what you need;
 *   3. read `sequence` again (behind an acquire fence); the copy is whole
 *      when both readings are the same even number, else start over.
 *
 * korvanel/reader.h does exactly that, with the opening of the block by name.
 * `layoutStamp` says which layout the block has: KORVANEL_LAYOUT_STAMP for
 * the one below. A block whose stamp is 0 was made by a plugin that does not
 * keep the counter (or not made by the plugin at all).
 *
 * Times are seconds, -1.0 meaning none; indices use -1 for none; place 1 is
 * the leader. Entries of a region beyond its current count hold stale data.
 * A display program may write only the command bytes of the state record
 * (distanceResetCommand, selectedClassRow, kersTimerOn, kersRunning) and may
 * clear scoringPublished. */
#ifndef KORVANEL_SHARED_BLOCK_H
#define KORVANEL_SHARED_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KORVANEL_STATIC_ASSERT(cond, what) static_assert(cond, what)
#else
#define KORVANEL_STATIC_ASSERT(cond, what) _Static_assert(cond, what)
#endif

#define KORVANEL_SHARED_BLOCK_NAME "$Quorvex2KORVANEL$"
#define KORVANEL_SHARED_BLOCK_SIZE 151832u
/* Test and tool runs append this environment variable's value to the name. */
#define KORVANEL_NAME_SUFFIX_VARIABLE "KORVANEL_NAME_SUFFIX"

#define KORVANEL_MAX_VEHICLES 150
#define KORVANEL_TIME_TABLE_ENTRIES 150
#define KORVANEL_CLASS_ROWS 22

/* Byte offsets of the regions inside the block. */
#define KORVANEL_OFFSET_TELEMETRY 0u
#define KORVANEL_OFFSET_SCORING 1912u
#define KORVANEL_OFFSET_STATE 127480u
#define KORVANEL_OFFSET_SCORING_PUBLISHED 127540u
#define KORVANEL_OFFSET_TIME_TABLE 127544u
#define KORVANEL_OFFSET_SECTOR_TIMES 151604u
#define KORVANEL_OFFSET_DATA_LOCK_ADDRESS 151824u
#define KORVANEL_OFFSET_SEQUENCE 127536u
#define KORVANEL_OFFSET_LAYOUT_STAMP 151828u

/* The layout stamp: a magic ("KV") in the high 16 bits and the layout
 * version in the low 16. The version changes whenever a published offset,
 * size or meaning changes; a reader refuses a block whose stamp it does not
 * know. Written once, when the plugin creates the block. */
#define KORVANEL_LAYOUT_MAGIC 0x4B56u
#define KORVANEL_LAYOUT_VERSION 1u
#define KORVANEL_LAYOUT_STAMP ((KORVANEL_LAYOUT_MAGIC << 16) | KORVANEL_LAYOUT_VERSION)

/* Values of KorvanelHostState.distanceResetCommand. */
#define KORVANEL_RESET_VEHICLE_DISTANCE 2
#define KORVANEL_RESET_TRACK_DISTANCE 3

/* Host sector codes, which also number the sector-record slots. */
#define KORVANEL_SECTOR_THIRD 0
#define KORVANEL_SECTOR_FIRST 1
#define KORVANEL_SECTOR_SECOND 2

#pragma pack(push, 4)

/* The host's telemetry record of the player's car (1888 bytes). */
typedef struct KorvanelHostTelemetry {
  uint8_t passthrough0[4];
  double deltaTime; /* seconds since the previous telemetry update */
  uint8_t passthrough12[8];
  int32_t lapNumber;
  double lapStartTime; /* session clock when the current lap began */
  char vehicleName[64];
  uint8_t passthrough96[64];
  double position[3];      /* world x, y (height), z */
  double localVelocity[3]; /* its length is the speed */
  uint8_t passthrough208[316];
  double fuelLevel;
  uint8_t passthrough532[1356];
} KorvanelHostTelemetry;

/* The latest telemetry record followed by the plugin's figures (1912 bytes). */
typedef struct KorvanelTelemetryInfoV2 {
  KorvanelHostTelemetry telemetry;
  float estimatedLapTime; /* seconds into the player's lap; -1.0 unknown */
  float lapsOfFuelLeft;
  float fuelPerSecond; /* last lap's fuel over its lap time */
  float lastLapFuel;
  float fuelPerLap;
  float distancePerFuel;
} KorvanelTelemetryInfoV2;

/* The host's record of one vehicle (584 bytes). Sector times are cumulative
 * from the start of the lap: sector2 is the time to the end of sector 2. */
typedef struct KorvanelHostVehicle {
  uint8_t passthrough0[4];
  char driverName[32];
  char vehicleName[64];
  int16_t lapsCompleted;
  int8_t sector; /* 1 first, 2 second, 0 third and last sector */
  int8_t vehicleStatus;
  double lapDistance;
  double passthrough112;
  double passthrough120;
  double bestSector1;
  double bestSector2;
  double bestLapTime;
  double lastSector1;
  double lastSector2;
  double lastLapTime;
  double currentSector1;
  double currentSector2;
  int16_t passthrough192;
  int16_t passthrough194;
  uint8_t isPlayer;
  int8_t control; /* the player's car: isPlayer set and control 0 or 1 */
  uint8_t inPits;
  uint8_t place; /* 1 for the leader */
  char vehicleClass[32];
  double timeBehindNext;
  int32_t lapsBehindNext;
  double timeBehindLeader;
  int32_t lapsBehindLeader;
  double passthrough256;
  double position[3];
  double localVelocity[3];     /* in the car's frame */
  double localAcceleration[3]; /* in the car's frame */
  double orientation[9];       /* rows; row 0 and row 2 give world x and z */
  double passthrough408[3];
  double passthrough432[3];
  uint8_t passthrough456[4];
  int32_t passthrough460;
  double passthrough464;
  double passthrough472;
  uint8_t passthrough480[24];
  uint8_t passthrough504[4];
  uint8_t passthrough508[76];
} KorvanelHostVehicle;

/* One vehicle of the scoring block, in race order (820 bytes). */
typedef struct KorvanelVehicleInfoV2 {
  KorvanelHostVehicle host;
  uint8_t unused584[4];
  uint8_t teamMember;
  uint8_t unused589[3];
  int32_t classPosition; /* 0 outside the class group */
  float topSpeed;
  float lapProgress; /* laps completed plus the fraction of the lap */
  uint8_t unused604[64];
  char driverNameUpper[64];
  char vehicleClassUpper[32];
  uint8_t inClassGroup;
  uint8_t unused765[3];
  int32_t previousGroupMember; /* -1 for the group's first entry */
  float timeBehindClassLeader;
  float lapDiffToClassLeader;
  float timeBehindClassAhead;
  float lapDiffToClassAhead;
  float timeGapToPlayer; /* negative for cars ahead */
  float lapGapToPlayer;  /* whole laps ahead (negative), fraction behind */
  double estimatedPosition[3];
} KorvanelVehicleInfoV2;

/* The scoring snapshot (125568 bytes). */
typedef struct KorvanelScoringInfoV2 {
  char trackName[64];
  int32_t session; /* 10 to 13: race sessions */
  uint8_t padding68[4];
  double currentTime; /* session clock of the latest scoring update */
  double passthrough80;
  int32_t passthrough88;
  uint8_t padding92[4];
  double lapLength;
  char hostText[2000];
  int32_t vehicleCount; /* the host's count; read min(count, 150) */
  uint8_t phase;        /* above 4: green flag */
  int8_t passthrough2109;
  int16_t passthrough2110;
  int8_t passthrough2112;
  int8_t passthrough2113;
  int8_t passthrough2114;
  uint8_t realtimeFlag;
  uint8_t passthrough2116[32];
  uint8_t passthrough2148[64];
  uint8_t padding2212[4];
  double passthrough2216;
  double passthrough2224;
  double passthrough2232;
  double passthrough2240;
  uint8_t passthrough2248[24];
  double passthrough2272;
  double passthrough2280;
  uint8_t passthrough2288[256];
  KorvanelVehicleInfoV2 vehicles[KORVANEL_MAX_VEHICLES];
  int32_t playerPlace;         /* 1000 when there is no player */
  int32_t playerClassPosition; /* 1000 when there is no player */
  int32_t playerIndex;         /* -1 when there is no player */
  int32_t classLeaderIndex;    /* -1 when there is none */
  uint8_t noClassGroup;
  uint8_t unused125561[7];
} KorvanelScoringInfoV2;

/* The state record with the command bytes (56 bytes). */
typedef struct KorvanelHostState {
  uint8_t sessionActive;
  uint8_t trackLoaded;
  uint8_t inRealtime;
  uint8_t noPlayerVehicle;
  int32_t playerPlace;
  int32_t playerIndex;
  float timeSinceScoring;
  int32_t updateCount;
  uint8_t dataUpdated;
  uint8_t padding21[3];
  double vehicleDistance;       /* odometer of the player's vehicle */
  double vehicleTrackDistance;  /* same vehicle on this track */
  uint8_t distanceResetCommand; /* write 2 or 3; the plugin clears it */
  uint8_t shutDown;
  uint8_t selectedClassRow; /* write: class row to group by */
  uint8_t kersTimerOn;      /* write: 1 runs the KERS timer */
  uint8_t kersRunning;      /* write: nonzero counts down */
  uint8_t padding45[3];
  float kersRemaining;
  uint8_t closed;
  uint8_t padding53[3];
} KorvanelHostState;

/* One driver's entry of the timing table (160 bytes). */
typedef struct KorvanelTimeTableEntry {
  char driverName[32];
  char vehicleName[64];
  char vehicleClass[32];
  int32_t vehicleIndex;
  int32_t place;
  float bestSector1;
  float bestSector2; /* cumulative sectors one and two */
  float bestLapTime;
  float topSpeed;
  float stintTopSpeed;
  uint8_t inUse;
  uint8_t isPlayerVehicle;
  uint8_t seenThisUpdate;
  int8_t vehicleStatus;
} KorvanelTimeTableEntry;

/* The timing table (24060 bytes). */
typedef struct KorvanelTimeTable {
  KorvanelTimeTableEntry entries[KORVANEL_TIME_TABLE_ENTRIES];
  float fastestLapTime;
  float fastestLapSector1;
  float fastestLapSector2;
  char fastestLapDriver[32];
  uint8_t earlyTimesSeen;
  uint8_t reserved24045[3];
  float playerBestLapTime;
  float playerBestSector1;
  float playerBestSector2;
} KorvanelTimeTable;

/* Absolute sector records (220 bytes); slots follow the host's sector code:
 * slot 0 third sector, slot 1 first, slot 2 second. */
typedef struct KorvanelAbsoluteSectorTimes {
  char recordHolder[3][32];
  uint8_t reserved96[96];
  float recordTime[3];
  float playerRecordTime[3];
  uint8_t earlyTimesSeen;
  uint8_t reserved217[3];
} KorvanelAbsoluteSectorTimes;

/* The whole block (151832 bytes). */
typedef struct KorvanelSharedBlock {
  KorvanelTelemetryInfoV2 telemetry;
  KorvanelScoringInfoV2 scoring;
  KorvanelHostState state;
  uint32_t sequence;        /* odd while the plugin writes; see the top of the file */
  uint8_t scoringPublished; /* 1 after each scoring publication */
  uint8_t unused127541[3];
  KorvanelTimeTable timeTable;
  KorvanelAbsoluteSectorTimes sectorTimes;
  uint32_t dataLockAddress; /* meaningful only inside the host's process */
  uint32_t layoutStamp;     /* KORVANEL_LAYOUT_STAMP */
} KorvanelSharedBlock;

#pragma pack(pop)

#define KORVANEL_CHECK_OFFSET(type, field, offset) \
  KORVANEL_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field)
#define KORVANEL_CHECK_SIZE(type, size) \
  KORVANEL_STATIC_ASSERT(sizeof(type) == (size), "size of " #type)

KORVANEL_CHECK_SIZE(KorvanelHostTelemetry, 1888);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, deltaTime, 4);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, lapNumber, 20);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, lapStartTime, 24);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, vehicleName, 32);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, position, 160);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, localVelocity, 184);
KORVANEL_CHECK_OFFSET(KorvanelHostTelemetry, fuelLevel, 524);

KORVANEL_CHECK_SIZE(KorvanelTelemetryInfoV2, 1912);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, estimatedLapTime, 1888);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, lapsOfFuelLeft, 1892);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, fuelPerSecond, 1896);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, lastLapFuel, 1900);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, fuelPerLap, 1904);
KORVANEL_CHECK_OFFSET(KorvanelTelemetryInfoV2, distancePerFuel, 1908);

KORVANEL_CHECK_SIZE(KorvanelHostVehicle, 584);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, driverName, 4);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, vehicleName, 36);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lapsCompleted, 100);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, sector, 102);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, vehicleStatus, 103);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lapDistance, 104);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, bestSector1, 128);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, bestSector2, 136);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, bestLapTime, 144);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lastSector1, 152);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lastSector2, 160);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lastLapTime, 168);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, currentSector1, 176);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, currentSector2, 184);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, isPlayer, 196);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, control, 197);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, inPits, 198);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, place, 199);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, vehicleClass, 200);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, timeBehindNext, 232);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lapsBehindNext, 240);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, timeBehindLeader, 244);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, lapsBehindLeader, 252);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, position, 264);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, localVelocity, 288);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, localAcceleration, 312);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, orientation, 336);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, passthrough408, 408);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, passthrough456, 456);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, passthrough480, 480);
KORVANEL_CHECK_OFFSET(KorvanelHostVehicle, passthrough508, 508);

KORVANEL_CHECK_SIZE(KorvanelVehicleInfoV2, 820);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, teamMember, 588);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, classPosition, 592);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, topSpeed, 596);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, lapProgress, 600);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, driverNameUpper, 668);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, vehicleClassUpper, 732);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, inClassGroup, 764);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, previousGroupMember, 768);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, timeBehindClassLeader, 772);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, lapDiffToClassLeader, 776);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, timeBehindClassAhead, 780);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, lapDiffToClassAhead, 784);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, timeGapToPlayer, 788);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, lapGapToPlayer, 792);
KORVANEL_CHECK_OFFSET(KorvanelVehicleInfoV2, estimatedPosition, 796);

KORVANEL_CHECK_SIZE(KorvanelScoringInfoV2, 125568);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, session, 64);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, currentTime, 72);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough80, 80);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough88, 88);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, lapLength, 96);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, hostText, 104);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, vehicleCount, 2104);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, phase, 2108);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2110, 2110);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, realtimeFlag, 2115);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2116, 2116);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2148, 2148);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2216, 2216);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2248, 2248);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2272, 2272);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, passthrough2288, 2288);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, vehicles, 2544);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, playerPlace, 125544);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, playerClassPosition, 125548);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, playerIndex, 125552);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, classLeaderIndex, 125556);
KORVANEL_CHECK_OFFSET(KorvanelScoringInfoV2, noClassGroup, 125560);

KORVANEL_CHECK_SIZE(KorvanelHostState, 56);
KORVANEL_CHECK_OFFSET(KorvanelHostState, noPlayerVehicle, 3);
KORVANEL_CHECK_OFFSET(KorvanelHostState, playerPlace, 4);
KORVANEL_CHECK_OFFSET(KorvanelHostState, playerIndex, 8);
KORVANEL_CHECK_OFFSET(KorvanelHostState, timeSinceScoring, 12);
KORVANEL_CHECK_OFFSET(KorvanelHostState, updateCount, 16);
KORVANEL_CHECK_OFFSET(KorvanelHostState, dataUpdated, 20);
KORVANEL_CHECK_OFFSET(KorvanelHostState, vehicleDistance, 24);
KORVANEL_CHECK_OFFSET(KorvanelHostState, vehicleTrackDistance, 32);
KORVANEL_CHECK_OFFSET(KorvanelHostState, distanceResetCommand, 40);
KORVANEL_CHECK_OFFSET(KorvanelHostState, shutDown, 41);
KORVANEL_CHECK_OFFSET(KorvanelHostState, selectedClassRow, 42);
KORVANEL_CHECK_OFFSET(KorvanelHostState, kersTimerOn, 43);
KORVANEL_CHECK_OFFSET(KorvanelHostState, kersRunning, 44);
KORVANEL_CHECK_OFFSET(KorvanelHostState, kersRemaining, 48);
KORVANEL_CHECK_OFFSET(KorvanelHostState, closed, 52);

KORVANEL_CHECK_SIZE(KorvanelTimeTableEntry, 160);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, vehicleName, 32);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, vehicleClass, 96);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, vehicleIndex, 128);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, place, 132);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, bestSector1, 136);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, bestSector2, 140);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, bestLapTime, 144);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, topSpeed, 148);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, stintTopSpeed, 152);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, inUse, 156);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, isPlayerVehicle, 157);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, seenThisUpdate, 158);
KORVANEL_CHECK_OFFSET(KorvanelTimeTableEntry, vehicleStatus, 159);

KORVANEL_CHECK_SIZE(KorvanelTimeTable, 24060);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, fastestLapTime, 24000);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, fastestLapSector1, 24004);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, fastestLapSector2, 24008);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, fastestLapDriver, 24012);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, earlyTimesSeen, 24044);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, playerBestLapTime, 24048);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, playerBestSector1, 24052);
KORVANEL_CHECK_OFFSET(KorvanelTimeTable, playerBestSector2, 24056);

KORVANEL_CHECK_SIZE(KorvanelAbsoluteSectorTimes, 220);
KORVANEL_CHECK_OFFSET(KorvanelAbsoluteSectorTimes, reserved96, 96);
KORVANEL_CHECK_OFFSET(KorvanelAbsoluteSectorTimes, recordTime, 192);
KORVANEL_CHECK_OFFSET(KorvanelAbsoluteSectorTimes, playerRecordTime, 204);
KORVANEL_CHECK_OFFSET(KorvanelAbsoluteSectorTimes, earlyTimesSeen, 216);

KORVANEL_CHECK_SIZE(KorvanelSharedBlock, KORVANEL_SHARED_BLOCK_SIZE);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, telemetry, KORVANEL_OFFSET_TELEMETRY);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, scoring, KORVANEL_OFFSET_SCORING);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, state, KORVANEL_OFFSET_STATE);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, scoringPublished, KORVANEL_OFFSET_SCORING_PUBLISHED);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, timeTable, KORVANEL_OFFSET_TIME_TABLE);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, sectorTimes, KORVANEL_OFFSET_SECTOR_TIMES);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, dataLockAddress, KORVANEL_OFFSET_DATA_LOCK_ADDRESS);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, sequence, KORVANEL_OFFSET_SEQUENCE);
KORVANEL_CHECK_OFFSET(KorvanelSharedBlock, layoutStamp, KORVANEL_OFFSET_LAYOUT_STAMP);

#undef KORVANEL_CHECK_OFFSET
#undef KORVANEL_CHECK_SIZE

#endif /* KORVANEL_SHARED_BLOCK_H */

// The published scoring block: the host's session header, 150 vehicle
// entries in race order with the plugin's derived fields, and a tail about
// the player and the selected class group.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"

namespace korvanel {

constexpr int kMaxVehicles = 150;
constexpr int kHostTextSize = 2000;

#pragma pack(push, 4)

struct VehicleInfoV2 {
  HostVehicle host;  // the host's record, every byte at its own offset
  uint8_t unused584[4];
  uint8_t teamMember;
  uint8_t unused589[3];
  int32_t classPosition;  // 0 outside the class group
  float topSpeed;
  float lapProgress;  // laps completed plus the fraction of the current lap
  uint8_t unused604[64];
  char driverNameUpper[64];
  char vehicleClassUpper[32];
  uint8_t inClassGroup;
  uint8_t unused765[3];
  int32_t previousGroupMember;  // -1 for the group's first entry
  float timeBehindClassLeader;
  float lapDiffToClassLeader;
  float timeBehindClassAhead;
  float lapDiffToClassAhead;
  float timeGapToPlayer;  // negative for cars ahead
  float lapGapToPlayer;   // negative whole laps ahead, fraction behind
  double estimatedPosition[3];
};

struct ScoringInfoV2 {
  char trackName[64];
  int32_t session;
  uint8_t padding68[4];
  double currentTime;
  double passthrough80;
  int32_t passthrough88;
  uint8_t padding92[4];
  double lapLength;
  char hostText[kHostTextSize];
  int32_t vehicleCount;  // the host's number, not limited to 150
  uint8_t phase;
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
  VehicleInfoV2 vehicles[kMaxVehicles];
  int32_t playerPlace;          // 1000 when there is no player
  int32_t playerClassPosition;  // 1000 when there is no player
  int32_t playerIndex;          // -1 when there is no player
  int32_t classLeaderIndex;     // -1 when there is none
  uint8_t noClassGroup;
  uint8_t unused125561[7];
};

#pragma pack(pop)

static_assert(sizeof(VehicleInfoV2) == 820);
static_assert(offsetof(VehicleInfoV2, teamMember) == 588);
static_assert(offsetof(VehicleInfoV2, classPosition) == 592);
static_assert(offsetof(VehicleInfoV2, topSpeed) == 596);
static_assert(offsetof(VehicleInfoV2, lapProgress) == 600);
static_assert(offsetof(VehicleInfoV2, driverNameUpper) == 668);
static_assert(offsetof(VehicleInfoV2, vehicleClassUpper) == 732);
static_assert(offsetof(VehicleInfoV2, inClassGroup) == 764);
static_assert(offsetof(VehicleInfoV2, previousGroupMember) == 768);
static_assert(offsetof(VehicleInfoV2, timeBehindClassLeader) == 772);
static_assert(offsetof(VehicleInfoV2, lapDiffToClassLeader) == 776);
static_assert(offsetof(VehicleInfoV2, timeBehindClassAhead) == 780);
static_assert(offsetof(VehicleInfoV2, lapDiffToClassAhead) == 784);
static_assert(offsetof(VehicleInfoV2, timeGapToPlayer) == 788);
static_assert(offsetof(VehicleInfoV2, lapGapToPlayer) == 792);
static_assert(offsetof(VehicleInfoV2, estimatedPosition) == 796);

static_assert(sizeof(ScoringInfoV2) == 125568);
static_assert(offsetof(ScoringInfoV2, session) == 64);
static_assert(offsetof(ScoringInfoV2, currentTime) == 72);
static_assert(offsetof(ScoringInfoV2, passthrough80) == 80);
static_assert(offsetof(ScoringInfoV2, passthrough88) == 88);
static_assert(offsetof(ScoringInfoV2, lapLength) == 96);
static_assert(offsetof(ScoringInfoV2, hostText) == 104);
static_assert(offsetof(ScoringInfoV2, vehicleCount) == 2104);
static_assert(offsetof(ScoringInfoV2, phase) == 2108);
static_assert(offsetof(ScoringInfoV2, passthrough2109) == 2109);
static_assert(offsetof(ScoringInfoV2, passthrough2110) == 2110);
static_assert(offsetof(ScoringInfoV2, passthrough2112) == 2112);
static_assert(offsetof(ScoringInfoV2, realtimeFlag) == 2115);
static_assert(offsetof(ScoringInfoV2, passthrough2116) == 2116);
static_assert(offsetof(ScoringInfoV2, passthrough2148) == 2148);
static_assert(offsetof(ScoringInfoV2, passthrough2216) == 2216);
static_assert(offsetof(ScoringInfoV2, passthrough2240) == 2240);
static_assert(offsetof(ScoringInfoV2, passthrough2248) == 2248);
static_assert(offsetof(ScoringInfoV2, passthrough2272) == 2272);
static_assert(offsetof(ScoringInfoV2, passthrough2280) == 2280);
static_assert(offsetof(ScoringInfoV2, passthrough2288) == 2288);
static_assert(offsetof(ScoringInfoV2, vehicles) == 2544);
static_assert(offsetof(ScoringInfoV2, playerPlace) == 125544);
static_assert(offsetof(ScoringInfoV2, playerClassPosition) == 125548);
static_assert(offsetof(ScoringInfoV2, playerIndex) == 125552);
static_assert(offsetof(ScoringInfoV2, classLeaderIndex) == 125556);
static_assert(offsetof(ScoringInfoV2, noClassGroup) == 125560);

// Entries that belong to the current update: the host's count, never more
// than the block holds.
inline int countedVehicles(const ScoringInfoV2& block) {
  int n = block.vehicleCount;
  if (n < 0) return 0;
  return n > kMaxVehicles ? kMaxVehicles : n;
}

}  // namespace korvanel

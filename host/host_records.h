// The three records the host hands the plugin by pointer: telemetry of the
// player's car, the scoring header and one record per vehicle. Only the fields
// the plugin reads for a purpose carry names; the rest is copied through.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanel {

#pragma pack(push, 4)

struct HostTelemetry {
  uint8_t passthrough0[4];
  double deltaTime;  // seconds since the previous telemetry update
  uint8_t passthrough12[8];
  int32_t lapNumber;
  double lapStartTime;  // session clock when the current lap began
  char vehicleName[64];
  uint8_t passthrough96[64];
  double position[3];       // world x, y, z
  double localVelocity[3];  // its length is the car's speed
  uint8_t passthrough208[316];
  double fuelLevel;
  uint8_t passthrough532[1356];
};

struct HostVehicle {
  uint8_t passthrough0[4];
  char driverName[32];
  char vehicleName[64];
  int16_t lapsCompleted;
  int8_t sector;  // 1 = first, 2 = second, 0 = third and last sector
  int8_t vehicleStatus;
  double lapDistance;
  double passthrough112;
  double passthrough120;
  double bestSector1;  // cumulative times, like the host gives them
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
  int8_t control;  // the player's car when isPlayer and control is 0 or 1
  uint8_t inPits;
  uint8_t place;  // 1 for the leader
  char vehicleClass[32];
  double timeBehindNext;
  int32_t lapsBehindNext;
  double timeBehindLeader;
  int32_t lapsBehindLeader;
  double passthrough256;
  double position[3];
  double localVelocity[3];      // in the vehicle's own frame
  double localAcceleration[3];  // in the vehicle's own frame
  double orientation[9];        // rows 0 and 2 give world x and z
  double passthrough408[3];
  double passthrough432[3];
  uint8_t passthrough456[4];
  int32_t passthrough460;
  double passthrough464;
  double passthrough472;
  uint8_t passthrough480[24];
  uint8_t passthrough504[4];
  uint8_t passthrough508[76];
};

// On the 32-bit host the two pointers are 4 bytes; a 64-bit build shifts
// the fields after `hostText`, which is why everything is copied by name.
struct HostScoring {
  char trackName[64];
  int32_t session;
  double currentTime;
  double passthrough76;
  int32_t passthrough84;
  double lapLength;
  const char* hostText;
  int32_t vehicleCount;
  uint8_t phase;
  int8_t passthrough105;
  int16_t passthrough106;
  int8_t passthrough108;
  int8_t passthrough109;
  int8_t passthrough110;
  uint8_t realtimeFlag;
  uint8_t passthrough112[32];
  uint8_t passthrough144[64];
  double passthrough208;
  double passthrough216;
  double passthrough224;
  double passthrough232;
  uint8_t passthrough240[24];
  double passthrough264;
  double passthrough272;
  uint8_t passthrough280[256];
  const HostVehicle* vehicles;
};

#pragma pack(pop)

static_assert(sizeof(HostTelemetry) == 1888);
static_assert(offsetof(HostTelemetry, deltaTime) == 4);
static_assert(offsetof(HostTelemetry, lapNumber) == 20);
static_assert(offsetof(HostTelemetry, lapStartTime) == 24);
static_assert(offsetof(HostTelemetry, vehicleName) == 32);
static_assert(offsetof(HostTelemetry, position) == 160);
static_assert(offsetof(HostTelemetry, localVelocity) == 184);
static_assert(offsetof(HostTelemetry, fuelLevel) == 524);

static_assert(sizeof(HostVehicle) == 584);
static_assert(offsetof(HostVehicle, driverName) == 4);
static_assert(offsetof(HostVehicle, vehicleName) == 36);
static_assert(offsetof(HostVehicle, lapsCompleted) == 100);
static_assert(offsetof(HostVehicle, sector) == 102);
static_assert(offsetof(HostVehicle, vehicleStatus) == 103);
static_assert(offsetof(HostVehicle, lapDistance) == 104);
static_assert(offsetof(HostVehicle, bestSector1) == 128);
static_assert(offsetof(HostVehicle, bestSector2) == 136);
static_assert(offsetof(HostVehicle, bestLapTime) == 144);
static_assert(offsetof(HostVehicle, lastSector1) == 152);
static_assert(offsetof(HostVehicle, lastSector2) == 160);
static_assert(offsetof(HostVehicle, lastLapTime) == 168);
static_assert(offsetof(HostVehicle, currentSector1) == 176);
static_assert(offsetof(HostVehicle, currentSector2) == 184);
static_assert(offsetof(HostVehicle, isPlayer) == 196);
static_assert(offsetof(HostVehicle, control) == 197);
static_assert(offsetof(HostVehicle, inPits) == 198);
static_assert(offsetof(HostVehicle, place) == 199);
static_assert(offsetof(HostVehicle, vehicleClass) == 200);
static_assert(offsetof(HostVehicle, timeBehindNext) == 232);
static_assert(offsetof(HostVehicle, lapsBehindNext) == 240);
static_assert(offsetof(HostVehicle, timeBehindLeader) == 244);
static_assert(offsetof(HostVehicle, lapsBehindLeader) == 252);
static_assert(offsetof(HostVehicle, position) == 264);
static_assert(offsetof(HostVehicle, localVelocity) == 288);
static_assert(offsetof(HostVehicle, localAcceleration) == 312);
static_assert(offsetof(HostVehicle, orientation) == 336);
static_assert(offsetof(HostVehicle, passthrough408) == 408);
static_assert(offsetof(HostVehicle, passthrough456) == 456);
static_assert(offsetof(HostVehicle, passthrough480) == 480);
static_assert(offsetof(HostVehicle, passthrough508) == 508);

static_assert(offsetof(HostScoring, trackName) == 0);
static_assert(offsetof(HostScoring, session) == 64);
static_assert(offsetof(HostScoring, currentTime) == 68);
static_assert(offsetof(HostScoring, passthrough76) == 76);
static_assert(offsetof(HostScoring, passthrough84) == 84);
static_assert(offsetof(HostScoring, lapLength) == 88);
static_assert(offsetof(HostScoring, hostText) == 96);

// The host's own layout, with 4-byte pointers.
constexpr bool kHostPointersAre32Bit = sizeof(void*) == 4;
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, vehicleCount) == 100);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, phase) == 104);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough106) == 106);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, realtimeFlag) == 111);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough112) == 112);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough144) == 144);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough208) == 208);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough240) == 240);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough264) == 264);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, passthrough280) == 280);
static_assert(!kHostPointersAre32Bit || offsetof(HostScoring, vehicles) == 536);
static_assert(!kHostPointersAre32Bit || sizeof(HostScoring) == 540);

// The player test shared by class grouping, the timing table and the sector
// records.
inline bool isPlayerVehicle(const HostVehicle& v) {
  return v.isPlayer != 0 && (v.control == 0 || v.control == 1);
}

}  // namespace korvanel

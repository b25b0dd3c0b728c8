// The three records the host hands the plugin by pointer: telemetry of the
// player's car, the scoring header and one record per vehicle. Only the fields
// the plugin reads for a purpose carry names; the rest is copied through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "korvanel/shared_block.h"

namespace korvanel {

// The telemetry and vehicle records are embedded whole in the published
// block, so the reader header's definitions are the host's.
using HostTelemetry = KorvanelHostTelemetry;
using HostVehicle = KorvanelHostVehicle;

#pragma pack(push, 4)

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

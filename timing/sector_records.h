// The session's absolute best time of each sector over all cars, with its
// holder, and the player's own best sectors. Slots follow the host's sector
// code: slot 0 is the third sector, slot 1 the first, slot 2 the second.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"

namespace korvanel {

#pragma pack(push, 4)

struct AbsoluteSectorTimes {
  char recordHolder[3][32];
  uint8_t reserved96[96];
  float recordTime[3];        // -1.0 = none
  float playerRecordTime[3];  // -1.0 = none
  uint8_t earlyTimesSeen;
  uint8_t reserved217[3];

  // Samples every vehicle of the update once.
  void update(const HostScoring& scoring);
  // Samples one vehicle.
  void sample(const HostVehicle& v);
  // Six times to -1.0, names empty, `earlyTimesSeen` 0.
  void reset();
};

#pragma pack(pop)

static_assert(sizeof(AbsoluteSectorTimes) == 220);
static_assert(offsetof(AbsoluteSectorTimes, reserved96) == 96);
static_assert(offsetof(AbsoluteSectorTimes, recordTime) == 192);
static_assert(offsetof(AbsoluteSectorTimes, playerRecordTime) == 204);
static_assert(offsetof(AbsoluteSectorTimes, earlyTimesSeen) == 216);

}  // namespace korvanel

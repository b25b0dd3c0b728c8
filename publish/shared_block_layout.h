// Byte layout of the named shared block that display programs map.
#pragma once

#include <cstddef>
#include <cstdint>

#include "publish/host_state.h"
#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"
#include "timing/sector_records.h"
#include "timing/time_table.h"

namespace korvanel {

constexpr const char* kSharedBlockName = "$Quorvex2KORVANEL$";

#pragma pack(push, 4)

struct SharedBlock {
  TelemetryInfoV2 telemetry;
  ScoringInfoV2 scoring;
  HostState state;
  uint8_t unused127536[4];
  uint8_t scoringPublished;  // raised after every scoring publication
  uint8_t unused127541[3];
  TimeTable timeTable;
  AbsoluteSectorTimes sectorTimes;
  uint32_t dataLockAddress;  // meaningful only inside the host's process
  uint8_t unused151828[4];
};

#pragma pack(pop)

constexpr uint32_t kSharedBlockSize = 151832;

static_assert(sizeof(SharedBlock) == kSharedBlockSize);
static_assert(offsetof(SharedBlock, telemetry) == 0);
static_assert(offsetof(SharedBlock, scoring) == 1912);
static_assert(offsetof(SharedBlock, state) == 127480);
static_assert(offsetof(SharedBlock, scoringPublished) == 127540);
static_assert(offsetof(SharedBlock, timeTable) == 127544);
static_assert(offsetof(SharedBlock, sectorTimes) == 151604);
static_assert(offsetof(SharedBlock, dataLockAddress) == 151824);

}  // namespace korvanel

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
  uint32_t sequence;         // odd while a call writes the block (publish/block_write.h)
  uint8_t scoringPublished;  // raised after every scoring publication
  uint8_t unused127541[3];
  TimeTable timeTable;
  AbsoluteSectorTimes sectorTimes;
  uint32_t dataLockAddress;  // meaningful only inside the host's process
  uint32_t layoutStamp;      // kLayoutStamp, written when the block is created
};

#pragma pack(pop)

constexpr uint32_t kSharedBlockSize = 151832;

// Magic "KV" in the high half, layout version 1 in the low half; the reader
// header defines the same value for display programs.
constexpr uint32_t kLayoutMagic = 0x4B56u;
constexpr uint32_t kLayoutVersion = 1u;
constexpr uint32_t kLayoutStamp = (kLayoutMagic << 16) | kLayoutVersion;

static_assert(sizeof(SharedBlock) == kSharedBlockSize);
static_assert(offsetof(SharedBlock, telemetry) == 0);
static_assert(offsetof(SharedBlock, scoring) == 1912);
static_assert(offsetof(SharedBlock, state) == 127480);
static_assert(offsetof(SharedBlock, scoringPublished) == 127540);
static_assert(offsetof(SharedBlock, timeTable) == 127544);
static_assert(offsetof(SharedBlock, sectorTimes) == 151604);
static_assert(offsetof(SharedBlock, dataLockAddress) == 151824);
static_assert(offsetof(SharedBlock, sequence) == 127536 &&
              offsetof(SharedBlock, sequence) % 8 == 0);
static_assert(offsetof(SharedBlock, layoutStamp) == 151828);

}  // namespace korvanel

// Storage of the published blocks.
#include "publish/published_blocks.h"

#include "platform/platform.h"

namespace korvanel {
namespace {

struct Blocks {
  Blocks() {
    // The library's one static initialiser: the timing records start cleared.
    timeTable.reset();
    sectorTimes.reset();
  }
  TelemetryInfoV2 telemetry{};
  ScoringInfoV2 scoring{};
  TimeTable timeTable{};
  AbsoluteSectorTimes sectorTimes{};
};

Blocks gBlocks;

}  // namespace

TelemetryInfoV2& publishedTelemetry() { return gBlocks.telemetry; }
ScoringInfoV2& publishedScoring() { return gBlocks.scoring; }
TimeTable& publishedTimeTable() { return gBlocks.timeTable; }
AbsoluteSectorTimes& publishedSectorTimes() { return gBlocks.sectorTimes; }

HostState& hostState() { return platform::sharedSection().state; }
uint8_t& scoringClockReset() { return platform::sharedSection().scoringClockReset; }

}  // namespace korvanel

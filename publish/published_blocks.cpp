// Storage of the published blocks.
#include "publish/published_blocks.h"

#include "platform/platform.h"

namespace korvanel {
namespace {

struct Blocks {
  Blocks() {
    // The library's one static initialiser: the timing records start cleared.
    resetTimeTable(timeTable);
    resetSectorRecords(sectorTimes);
  }
  TelemetryInfoV2 telemetry{};
  ScoringInfoV2 scoring{};
  TimeTable timeTable{};
  AbsoluteSectorTimes sectorTimes{};
};

Blocks gBlocks;

static_assert(sizeof(SharedSection) <= platform::kSharedSectionCapacity);

// The section starts all zero but for the player index, which says "none".
SharedSection& section() {
  static SharedSection* section = [] {
    SharedSection first{};
    first.state.playerIndex = -1;
    return static_cast<SharedSection*>(platform::sharedSection(sizeof first, &first));
  }();
  return *section;
}

}  // namespace

TelemetryInfoV2& publishedTelemetry() { return gBlocks.telemetry; }
ScoringInfoV2& publishedScoring() { return gBlocks.scoring; }
TimeTable& publishedTimeTable() { return gBlocks.timeTable; }
AbsoluteSectorTimes& publishedSectorTimes() { return gBlocks.sectorTimes; }
HostState& hostState() { return section().state; }
uint8_t& scoringClockReset() { return section().scoringClockReset; }

}  // namespace korvanel

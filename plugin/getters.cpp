// The getters for display code in the host's process. They return the
// addresses of module-wide objects and can be called at any time.
#include "platform/platform.h"
#include "plugin/exports.h"
#include "publish/data_lock.h"
#include "publish/block_write.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"

namespace {
// Per process: the tick of this process's latest clock reset.
uint32_t gClockBase = 0;
}  // namespace

extern "C" {

korvanel::TelemetryInfoV2* GetTelemetryInfoV2() { return &korvanel::publishedTelemetry(); }

korvanel::ScoringInfoV2* GetScoringInfoV2() { return &korvanel::publishedScoring(); }

korvanel::HostState* GetQuorvexState() { return &korvanel::hostState(); }

korvanel::TimeTable* GetTimeTable() { return &korvanel::publishedTimeTable(); }

korvanel::AbsoluteSectorTimes* GetABSOLUTESectorTimes() {
  return &korvanel::publishedSectorTimes();
}

void* GetCriticalSection() { return &korvanel::dataLock(); }

uint8_t TrackLoaded(uint32_t loaded) {
  uint8_t value = static_cast<uint8_t>(loaded & 0xFFu);
  korvanel::keepSharedBlockWhole();
  korvanel::hostState().trackLoaded = value;
  // Into the block's copy too, as realtime entry and exit do: every update
  // begins by copying the state record in from the block, which would
  // otherwise undo this call at the next update.
  if (korvanel::SharedBlock* block = korvanel::sharedBlock()) {
    korvanel::BlockWrite write(block);
    block->state.trackLoaded = value;
  }
  return value;
}

// Seconds since this process consumed the latest scoring update's reset.
float GetTime() {
  uint32_t now = korvanel::platform::tickCount();
  uint8_t& reset = korvanel::scoringClockReset();
  if (reset != 0) {
    reset = 0;
    gClockBase = now;
    return 0.0f;
  }
  return static_cast<float>(static_cast<uint32_t>(now - gClockBase) / 1000.0);
}

}  // extern "C"

// Filling the scoring block from a host record: the header copy and the
// race order; the per-vehicle conversion and the analysis steps live in
// their own files.
#include "scoring/scoring_block_writer.h"

#include <cstring>

#include "scoring/place_order.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "text/bytes.h"

namespace korvanel {
namespace {

// Field by field: the host packs doubles at 4-byte boundaries and holds a
// pointer where the block holds the text itself, so no stretch of the two
// layouts lines up beyond single fields.
void copyHeader(ScoringInfoV2& block, const HostScoring& s) {
  // A name without its terminator inside the field is cut, never overrun.
  copyBounded(block.trackName, sizeof block.trackName, s.trackName);
  block.session = s.session;
  block.currentTime = s.currentTime;
  block.passthrough80 = s.passthrough76;
  block.passthrough88 = s.passthrough84;
  block.lapLength = s.lapLength;
  // Its first 1999 characters, zero-filled after the text, always
  // terminated; a missing text is an empty one.
  copyBounded(block.hostText, sizeof block.hostText, s.hostText);
  block.vehicleCount = s.vehicleCount;
  block.phase = s.phase;
  block.passthrough2109 = s.passthrough105;
  block.passthrough2110 = s.passthrough106;
  block.passthrough2112 = s.passthrough108;
  block.passthrough2113 = s.passthrough109;
  block.passthrough2114 = s.passthrough110;
  block.realtimeFlag = s.realtimeFlag;
  std::memcpy(block.passthrough2116, s.passthrough112, sizeof block.passthrough2116);
  std::memcpy(block.passthrough2148, s.passthrough144, sizeof block.passthrough2148);
  block.passthrough2216 = s.passthrough208;
  block.passthrough2224 = s.passthrough216;
  block.passthrough2232 = s.passthrough224;
  block.passthrough2240 = s.passthrough232;
  std::memcpy(block.passthrough2248, s.passthrough240, sizeof block.passthrough2248);
  block.passthrough2272 = s.passthrough264;
  block.passthrough2280 = s.passthrough272;
  std::memcpy(block.passthrough2288, s.passthrough280, sizeof block.passthrough2288);
}

}  // namespace

void ScoringBlockWriter::fillFromHost(const HostScoring& scoring) {
  if (block_ == nullptr) return;
  copyHeader(*block_, scoring);

  PlaceKey keys[kMaxVehicles];
  int counted = orderByPlace(scoring.vehicles, scoring.vehicleCount, keys);
  for (int i = 0; i < counted; ++i) {
    entry_ = &block_->vehicles[i];
    const int32_t h = keys[i].hostIndex;
    hostIndex_[i] = h;
    CarSlot* slot = slots_ ? slots_->check(h, scoring.vehicles[h]) : nullptr;
    slotOfEntry_[i] = slot;
    convertVehicle(scoring, scoring.vehicles[h], slot);
  }
}

void ScoringBlockWriter::analyse(const PluginConfig& config, int32_t selectedRow) {
  if (block_ == nullptr) return;
  groupClasses(config, selectedRow);
  markTeamMembers(config);
  if (block_->noClassGroup == 0) {
    computeClassGaps();
    computePlayerGaps();
  }
}

void ScoringBlockWriter::copyTo(void* destination) const {
  if (block_ == nullptr || destination == nullptr) return;
  copyBlock(destination, block_, sizeof(ScoringInfoV2));
}

}  // namespace korvanel

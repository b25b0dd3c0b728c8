// Class grouping: the player's entry, the members of the selected class
// row numbered in race order, and the block's tail.
#include "scoring/class_pattern.h"
#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"

namespace korvanel {
namespace {

constexpr int32_t kNoPlayerPlace = 1000;

// The first pattern of `row` that takes `entry` in decides. Rows beyond the
// table (the display may send any byte) have no patterns.
PatternMatch matchRow(const PluginConfig& config, int32_t row, const VehicleInfoV2& entry,
                      const VehicleInfoV2* player) {
  for (int slot = 1; slot < kClassSlots; ++slot) {
    const char* pattern = config.pattern(row, slot);
    if (pattern == nullptr) break;
    PatternMatch m = matchPattern(pattern, entry, player);
    if (m != PatternMatch::kNone) return m;
  }
  return PatternMatch::kNone;
}

}  // namespace

void ScoringBlockWriter::groupClasses(const PluginConfig& config, int32_t row) {
  if (block_ == nullptr) return;
  ScoringInfoV2& b = *block_;
  const int n = countedVehicles(b);

  b.noClassGroup = 1;
  b.playerIndex = -1;
  b.playerPlace = kNoPlayerPlace;
  for (int i = 0; i < n; ++i) {
    // The last qualifying entry wins.
    if (isPlayerVehicle(b.vehicles[i].host)) {
      b.playerIndex = i;
      b.playerPlace = b.vehicles[i].host.place;
    }
  }
  const VehicleInfoV2* player = b.playerIndex >= 0 ? &b.vehicles[b.playerIndex] : nullptr;

  b.classLeaderIndex = -1;
  b.playerClassPosition = kNoPlayerPlace;
  int32_t previousMember = -1;
  int32_t nextPosition = 1;
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.inClassGroup = 0;
    e.classPosition = 0;
    PatternMatch m = matchRow(config, row, e, player);
    if (m != PatternMatch::kNone) {
      e.inClassGroup = 1;
      e.classPosition = m == PatternMatch::kMemberKeepsPlace ? e.host.place : nextPosition++;
      e.previousGroupMember = previousMember;
      b.noClassGroup = 0;
      previousMember = i;
    }
    if (e.classPosition == 1) b.classLeaderIndex = i;
  }

  if (player) b.playerClassPosition = player->classPosition;
}

}  // namespace korvanel

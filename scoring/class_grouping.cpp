// Class grouping: the player's entry, the members of the selected class
// row numbered in race order, and the block's tail.
#include "scoring/class_grouping.h"

#include <cstring>

#include "scoring/class_pattern.h"
#include "settings/plugin_config.h"

namespace korvanel {
namespace {

constexpr int32_t kNoPlayerPlace = 1000;

// The first pattern of `row` that takes `entry` decides. Rows beyond the
// table (the display may send any byte) have no patterns.
PatternMatch rowAnswer(const PluginConfig& config, int32_t row, const VehicleInfoV2& entry,
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

void groupClasses(ScoringInfoV2& b, const PluginConfig& config, int32_t row, CarSlots* slots,
                  CarSlot* const* slotOfEntry) {
  const int n = countedVehicles(b);

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

  int32_t previousMember = -1;
  int32_t nextPosition = 1;
  // The slots' answers hold while the row, its patterns and the player's
  // class are those they were worked out for.
  if (slots != nullptr) {
    ClassKey key{};
    key.config = &config;
    key.row = row;
    for (int slot = 1; slot < kClassSlots; ++slot) key.patterns[slot] = config.pattern(row, slot);
    key.hasPlayer = player != nullptr;
    if (player) std::memcpy(key.playerClass, player->host.vehicleClass, sizeof key.playerClass);
    slots->keepClassAnswersFor(key);
  }
  // Selections rather than branches on membership: classes alternate down
  // the field in no order a predictor learns. An entry outside the group
  // keeps what its previousGroupMember held.
  int32_t noGroup = 1;
  int32_t leader = -1;
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    CarSlot* slot = slots ? slotOfEntry[i] : nullptr;
    PatternMatch m;
    if (slot != nullptr && slot->classEpoch == slots->classEpoch()) {
      m = static_cast<PatternMatch>(slot->classAnswer);
    } else {
      m = rowAnswer(config, row, e, player);
      if (slot != nullptr) {
        slot->classAnswer = static_cast<uint8_t>(m);
        slot->classEpoch = slots->classEpoch();
      }
    }
    bool member = m != PatternMatch::kNone;
    bool keepsPlace = m == PatternMatch::kMemberKeepsPlace;
    int32_t numbered = member ? nextPosition : 0;
    e.inClassGroup = member ? 1 : 0;
    e.classPosition = keepsPlace ? e.host.place : numbered;
    e.previousGroupMember = member ? previousMember : e.previousGroupMember;
    nextPosition += static_cast<int32_t>(member & !keepsPlace);
    noGroup &= static_cast<int32_t>(!member);
    previousMember = member ? i : previousMember;
    leader = e.classPosition == 1 ? i : leader;
  }
  b.noClassGroup = noGroup;
  b.classLeaderIndex = leader;
  b.playerClassPosition = player ? player->classPosition : kNoPlayerPlace;
}

}  // namespace korvanel

// Class grouping: the player's entry, the members of the selected class
// row numbered in race order, and the block's tail.
#include <cstring>

#include "scoring/class_pattern.h"
#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"
#include "text/bytes.h"

namespace korvanel {
namespace {

constexpr int32_t kNoPlayerPlace = 1000;

// The first pattern of `row` that takes an entry decides. Rows beyond the
// table (the display may send any byte) have no patterns.
//
// A field has a handful of classes and every pattern but "$" looks at the
// class alone, so the row's answer by class is worked out once per class
// field of an update, and each entry only tries the driver tests of the "$"
// patterns before the slot that answer came from.
class RowMatcher {
 public:
  RowMatcher(const PluginConfig& config, int32_t row, const VehicleInfoV2* player)
      : player_(player) {
    for (int slot = 1; slot < kClassSlots; ++slot) {
      const char* pattern = config.pattern(row, slot);
      if (pattern == nullptr) break;
      patterns_[patternCount_++] = pattern;
    }
  }

  PatternMatch match(const VehicleInfoV2& entry) {
    const ClassAnswer& a = classAnswer(entry);
    for (int k = 0; k < a.slot; ++k) {
      if (matchDriverPart(patterns_[k], entry)) return PatternMatch::kMember;
    }
    return a.match;
  }

 private:
  struct ClassAnswer {
    char vehicleClass[sizeof(HostVehicle::vehicleClass)];
    int slot;  // index of the first pattern whose class part answers, or the count
    PatternMatch match;
  };

  const ClassAnswer& classAnswer(const VehicleInfoV2& entry) {
    constexpr size_t kSize = sizeof entry.host.vehicleClass;
    for (int i = 0; i < answerCount_; ++i) {
      if (sameBytes<kSize>(answers_[i].vehicleClass, entry.host.vehicleClass)) return answers_[i];
    }
    // More classes than remembered: the last slot is worked out again.
    ClassAnswer& a = answers_[answerCount_ < kAnswers ? answerCount_++ : kAnswers - 1];
    std::memcpy(a.vehicleClass, entry.host.vehicleClass, kSize);
    a.slot = patternCount_;
    a.match = PatternMatch::kNone;
    for (int k = 0; k < patternCount_; ++k) {
      PatternMatch m = matchClassPart(patterns_[k], entry, player_);
      if (m != PatternMatch::kNone) {
        a.slot = k;
        a.match = m;
        break;
      }
    }
    return a;
  }

  static constexpr int kAnswers = 16;
  const VehicleInfoV2* player_;
  const char* patterns_[kClassSlots];
  int patternCount_ = 0;
  ClassAnswer answers_[kAnswers];
  int answerCount_ = 0;
};

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
  RowMatcher matcher(config, row, player);
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.inClassGroup = 0;
    e.classPosition = 0;
    PatternMatch m = matcher.match(e);
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

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
// field of an update; an entry then only needs the driver tests of the "$"
// patterns before the slot that answer came from.
//
// Without branches on what differs from entry to entry where that is cheap:
// classes alternate down the field in no order a predictor learns, and a
// mispredicted branch per entry costs more than the tests. So every
// remembered class is compared and the lowest that holds chosen by
// selection, unless the answer the car's class came to in the last grouping
// holds: a car keeps its class, so that test nearly always passes and
// spares the others. The driver tests stay behind the class answer: they
// cost more than the branch.
class RowMatcher {
 public:
  RowMatcher(const PluginConfig& config, int32_t row, const VehicleInfoV2* player)
      : player_(player) {
    for (int slot = 1; slot < kClassSlots; ++slot) {
      const char* pattern = config.pattern(row, slot);
      if (pattern == nullptr) break;
      if (pattern[0] == '$') driverPatterns_ |= 1u << patternCount_;
      patterns_[patternCount_++] = pattern;
    }
  }

  // `hint`: the answer this car's class came to last time, tried first.
  PatternMatch match(const VehicleInfoV2& entry, uint8_t& hint) {
    const ClassAnswer& a = classAnswer(entry, hint);
    for (uint32_t left = a.driverTests; left != 0; left &= left - 1) {
      if (matchDriverPart(patterns_[__builtin_ctz(left)], entry)) return PatternMatch::kMember;
    }
    return a.match;
  }

 private:
  struct ClassAnswer {
    char vehicleClass[sizeof(HostVehicle::vehicleClass)];
    uint32_t driverTests;  // bit k for each "$" pattern ahead of the one whose class part answers
    PatternMatch match;
  };

  const ClassAnswer& classAnswer(const VehicleInfoV2& entry, uint8_t& hint) {
    constexpr size_t kSize = sizeof entry.host.vehicleClass;
    // The classes are distinct, so a hint that holds is the answer.
    if (hint < answerCount_ &&
        sameBytes<kSize>(answers_[hint].vehicleClass, entry.host.vehicleClass)) {
      return answers_[hint];
    }
    int found = answerCount_;
    for (int i = answerCount_ - 1; i >= 0; --i) {
      bool same = sameBytes<kSize>(answers_[i].vehicleClass, entry.host.vehicleClass);
      found = same ? i : found;
    }
    if (found < answerCount_) {
      hint = static_cast<uint8_t>(found);
      return answers_[found];
    }
    // More classes than remembered: the last slot is worked out again.
    int slotOfAnswer = answerCount_ < kAnswers ? answerCount_++ : kAnswers - 1;
    hint = static_cast<uint8_t>(slotOfAnswer);
    ClassAnswer& a = answers_[slotOfAnswer];
    std::memcpy(a.vehicleClass, entry.host.vehicleClass, kSize);
    int slot = patternCount_;
    a.match = PatternMatch::kNone;
    for (int k = 0; k < patternCount_; ++k) {
      PatternMatch m = matchClassPart(patterns_[k], entry, player_);
      if (m != PatternMatch::kNone) {
        slot = k;
        a.match = m;
        break;
      }
    }
    a.driverTests = driverPatterns_ & ((1u << slot) - 1u);
    return a;
  }

  static constexpr int kAnswers = 16;
  static_assert(kClassSlots <= 32, "a slot mask fits a word");
  const VehicleInfoV2* player_;
  const char* patterns_[kClassSlots];
  int patternCount_ = 0;
  uint32_t driverPatterns_ = 0;  // bit k for each "$" pattern
  ClassAnswer answers_[kAnswers];
  int answerCount_ = 0;
};

}  // namespace

void ScoringBlockWriter::groupClasses(const PluginConfig& config, int32_t row) {
  if (block_ == nullptr) return;
  ScoringInfoV2& b = *block_;
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

  b.playerClassPosition = kNoPlayerPlace;
  int32_t previousMember = -1;
  int32_t nextPosition = 1;
  RowMatcher matcher(config, row, player);
  // Selections rather than branches on membership, for the reason above.
  // An entry outside the group keeps what its previousGroupMember held.
  int32_t noGroup = 1;
  int32_t leader = -1;
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    uint8_t spare = 0xFF;
    int32_t h = hostIndex_[i];
    uint8_t& hint = h >= 0 && h < kMaxVehicles ? classHints_[h] : spare;
    PatternMatch m = matcher.match(e, hint);
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

  if (player) b.playerClassPosition = player->classPosition;
}

}  // namespace korvanel

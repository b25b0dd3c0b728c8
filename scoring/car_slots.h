// What one car's names decide, kept per position of the host's vehicle
// array: a car keeps its position and its names change only at a driver
// swap, so what derives from them is worked out only when they change.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"
#include "scoring/scoring_info.h"
#include "text/bytes.h"

namespace korvanel {

class PluginConfig;

// Bytes of the three name fields of a host vehicle record, one after another
// in the order driver, vehicle, class (as in a timing entry).
constexpr size_t kCarNameBytes = sizeof(HostVehicle::driverName) +
                                 sizeof(HostVehicle::vehicleName) +
                                 sizeof(HostVehicle::vehicleClass);

struct CarSlot {
  // The name fields as the host last sent them here, every byte, those after
  // a terminator included: equal images, equal facts.
  char names[kCarNameBytes];
  // Each fact below holds while its epoch equals the CarSlots' one.
  int16_t timingEntry;  // the timing entry carrying these names, -1: none
  uint32_t timingEpoch;
  uint32_t checkedInPass;  // the pass of the latest check that found these names
  // The conversion's facts, once `converted`: the upper-case images of the
  // driver and class names, and which of the fields driver (bit 0), vehicle
  // (bit 1) and class (bit 2) fill their whole field without a terminator.
  bool converted;
  uint8_t unterminated;
  char driverUpper[sizeof(VehicleInfoV2::driverNameUpper)];
  char classUpper[sizeof(VehicleInfoV2::vehicleClassUpper)];
  uint8_t classAnswer;  // the class row's answer for this car (a PatternMatch)
  uint32_t classEpoch;
  uint8_t teamMember;  // whether the driver is on the configured team list
  uint32_t teamEpoch;
};

// What the class answers are worked out for: the configuration, the class
// row and its patterns, and the player's class.
struct ClassKey {
  const PluginConfig* config;
  int32_t row;
  const char* patterns[16];  // the row's, by slot
  bool hasPlayer;
  char playerClass[32];  // the player's entry's class field
  // Every field equal: the patterns by address (the configuration is loaded
  // once and its texts do not move), the class by its bytes.
  bool operator==(const ClassKey& other) const;
};

// One slot per position of the host's array, up to the block's capacity.
// Other names at its position make a slot forget all its facts; the epochs
// below end one kind of fact in every slot.
class CarSlots {
 public:
  // The slot of `position`, or null beyond the slots, holding `v`'s names
  // (taken now, forgetting every fact, if it held others). Within one pass
  // (see beginPass) a position is compared once. Inline: it runs for every
  // car of every update.
  CarSlot* check(int position, const HostVehicle& v) {
    if (position < 0 || position >= kMaxVehicles) return nullptr;
    CarSlot& slot = slots_[position];
    if (slot.checkedInPass == pass_) return &slot;
    if (!(sameBytes<kDriverAndVehicle>(slot.names, v.driverName) &
          sameBytes<kClass>(slot.names + kDriverAndVehicle, v.vehicleClass))) {
      take(slot, v);
    }
    slot.checkedInPass = pass_;
    return &slot;
  }
  // Starts a stretch of calls over one host array that stays as it is, such
  // as the passes of one scoring update; every position is compared again.
  void beginPass() { ++pass_; }
  // Every slot's timing entry stops counting (a table reset, or an entry
  // taking names).
  void forgetTimingEntries() { ++timingEpoch_; }
  uint32_t timingEpoch() const { return timingEpoch_; }
  // Every slot's class answer stops counting unless `key` is the one they
  // were worked out for.
  void keepClassAnswersFor(const ClassKey& key);
  uint32_t classEpoch() const { return classEpoch_; }
  // Every slot's team mark stops counting unless `listHash` identifies the
  // team list they were made for.
  void keepTeamMarksFor(uint64_t listHash);
  uint32_t teamEpoch() const { return teamEpoch_; }

 private:
  static constexpr size_t kDriverAndVehicle =
      sizeof(HostVehicle::driverName) + sizeof(HostVehicle::vehicleName);
  static constexpr size_t kClass = sizeof(HostVehicle::vehicleClass);
  // Takes `v`'s names, forgetting every fact.
  static void take(CarSlot& slot, const HostVehicle& v);

  CarSlot slots_[kMaxVehicles] = {};
  // From 1: 0, what a fresh slot holds, never counts.
  uint32_t timingEpoch_ = 1;
  uint32_t pass_ = 1;
  uint32_t classEpoch_ = 1;
  uint32_t teamEpoch_ = 1;
  ClassKey classKey_ = {};
  uint64_t teamListHash_ = 0;
};

}  // namespace korvanel

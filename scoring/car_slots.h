// What one car's names decide, kept per position of the host's vehicle
// array. A car keeps its position from update to update and its names
// change only at a driver swap, so what derives from them is worked out when
// they change rather than at every update.
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
  // The name fields as the host last sent them at this position, every
  // byte, the ones after a terminator included: equal images, equal facts.
  char names[kCarNameBytes];
  // The timing entry that carries these names (-1: none), while
  // `timingEpoch` equals the table's CarSlots::timingEpoch().
  int16_t timingEntry;
  uint32_t timingEpoch;
  // The pass of the latest check that found these names.
  uint32_t checkedInPass;
  // The conversion's facts, once `converted`: the entry's upper-case images
  // of the driver and class names, and which of the fields driver (bit 0),
  // vehicle (bit 1) and class (bit 2) fill their whole field without a
  // terminator.
  bool converted;
  uint8_t unterminated;
  char driverUpper[sizeof(VehicleInfoV2::driverNameUpper)];
  char classUpper[sizeof(VehicleInfoV2::vehicleClassUpper)];
  // The class row's answer for this car (a PatternMatch), while
  // `classEpoch` equals CarSlots::classEpoch().
  uint8_t classAnswer;
  uint32_t classEpoch;
  // Whether the driver is on the configured team list, while `teamEpoch`
  // equals CarSlots::teamEpoch().
  uint8_t teamMember;
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
// What invalidates a slot's facts: other names at its position (the slot
// then forgets them all); for the timing entry a table reset or an entry
// taking names (forgetTimingEntries); for the class answer another class
// key (keepClassAnswersFor); for the team mark another team list
// (keepTeamMarksFor).
class CarSlots {
 public:
  // The slot of `position`, or null beyond the slots. When it does not hold
  // `v`'s names it takes them and forgets every fact; otherwise its facts
  // still hold as far as the names decide them. Within one pass (see
  // beginPass) a position is compared once: the caller's array does not
  // change during a pass.
  // Inline up to the comparison: it runs for every car of every update.
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
  // Every slot's timing entry stops counting.
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
  uint32_t timingEpoch_ = 1;  // 0 never counts: what a fresh slot holds
  uint32_t pass_ = 1;         // 0 never counts: what a fresh slot holds
  uint32_t classEpoch_ = 1;   // 0 never counts: what a fresh slot holds
  uint32_t teamEpoch_ = 1;    // 0 never counts: what a fresh slot holds
  ClassKey classKey_ = {};
  uint64_t teamListHash_ = 0;
};

}  // namespace korvanel

// A slot taking new names; the keys that keep the slots' answers.
#include "scoring/car_slots.h"

#include <cstring>

namespace korvanel {

static_assert(offsetof(HostVehicle, vehicleName) ==
                  offsetof(HostVehicle, driverName) + sizeof(HostVehicle::driverName),
              "driver and vehicle names lie together");

void CarSlots::take(CarSlot& slot, const HostVehicle& v) {
  std::memcpy(slot.names, v.driverName, kDriverAndVehicle);
  std::memcpy(slot.names + kDriverAndVehicle, v.vehicleClass, kClass);
  slot.timingEntry = -1;
  slot.timingEpoch = 0;
  slot.converted = false;
  slot.classEpoch = 0;
  slot.teamEpoch = 0;
}

bool ClassKey::operator==(const ClassKey& other) const {
  return config == other.config && row == other.row && hasPlayer == other.hasPlayer &&
         std::memcmp(patterns, other.patterns, sizeof patterns) == 0 &&
         std::memcmp(playerClass, other.playerClass, sizeof playerClass) == 0;
}

void CarSlots::keepClassAnswersFor(const ClassKey& key) {
  if (key == classKey_) return;
  ++classEpoch_;
  classKey_ = key;
}

void CarSlots::keepTeamMarksFor(uint64_t listHash) {
  if (listHash == teamListHash_) return;
  ++teamEpoch_;
  teamListHash_ = listHash;
}

}  // namespace korvanel

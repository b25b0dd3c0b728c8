// The per-position slots: one comparison of the name bytes decides whether a
// slot's facts hold.
#include "scoring/car_slots.h"

#include <cstring>

#include "text/bytes.h"

namespace korvanel {

namespace {

constexpr size_t kDriverAndVehicle =
    sizeof(HostVehicle::driverName) + sizeof(HostVehicle::vehicleName);
static_assert(offsetof(HostVehicle, vehicleName) ==
                  offsetof(HostVehicle, driverName) + sizeof(HostVehicle::driverName),
              "driver and vehicle names lie together");

}  // namespace

CarSlot* CarSlots::check(int position, const HostVehicle& v) {
  if (position < 0 || position >= kMaxVehicles) return nullptr;
  CarSlot& slot = slots_[position];
  constexpr size_t kClass = sizeof v.vehicleClass;
  if (sameBytes<kDriverAndVehicle>(slot.names, v.driverName) &
      sameBytes<kClass>(slot.names + kDriverAndVehicle, v.vehicleClass)) {
    return &slot;
  }
  std::memcpy(slot.names, v.driverName, kDriverAndVehicle);
  std::memcpy(slot.names + kDriverAndVehicle, v.vehicleClass, kClass);
  slot.timingEntry = -1;
  slot.timingEpoch = 0;
  return &slot;
}

}  // namespace korvanel

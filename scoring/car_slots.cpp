// A slot taking new names.
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

}  // namespace korvanel

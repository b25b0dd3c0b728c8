// How the timing records take the host's numbers: which times count, how a
// sector value and a speed become floats. A value that is not a number, or
// that a float cannot hold, never becomes a stored time or speed.
#pragma once

#include <cfloat>
#include <cmath>

#include "host/host_records.h"

namespace korvanel {

// A host time counts when it is greater than 0 and stays greater than 0 as a
// float (NaN and infinity do not count).
inline bool validTime(double t) {
  return t > 0.0 && t <= static_cast<double>(FLT_MAX) && static_cast<float>(t) > 0.0f;
}

// A sector value of a stored lap: kept as it is, whatever its sign, when a
// float can hold it; otherwise -1.0, none.
inline float storedSector(double t) {
  bool representable = t >= -static_cast<double>(FLT_MAX) && t <= static_cast<double>(FLT_MAX);
  return representable ? static_cast<float>(t) : -1.0f;
}

// The length of the vehicle's velocity as a float; 0.0 when it is not a
// number a float can hold, so such a value never raises a top speed.
inline float vehicleSpeed(const HostVehicle& v) {
  const double* u = v.localVelocity;
  double speed = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  return speed <= static_cast<double>(FLT_MAX) ? static_cast<float>(speed) : 0.0f;
}

// The host's vehicles of an update: none when the count is not positive or
// the array is missing.
inline int hostVehicleCount(const HostScoring& scoring) {
  return scoring.vehicleCount > 0 && scoring.vehicles != nullptr ? scoring.vehicleCount : 0;
}

}  // namespace korvanel

// The published telemetry block: the latest host telemetry record followed
// by the lap-time estimate and the five pace figures.
#pragma once

#include <cstddef>

#include "host/host_records.h"

namespace korvanel {

#pragma pack(push, 4)

struct TelemetryInfoV2 {
  HostTelemetry telemetry;
  float estimatedLapTime;  // -1.0 when it cannot be worked out
  float lapsOfFuelLeft;
  float fuelPerSecond;
  float lastLapFuel;
  float fuelPerLap;
  float distancePerFuel;
};

#pragma pack(pop)

static_assert(sizeof(TelemetryInfoV2) == 1912);
static_assert(offsetof(TelemetryInfoV2, estimatedLapTime) == 1888);
static_assert(offsetof(TelemetryInfoV2, lapsOfFuelLeft) == 1892);
static_assert(offsetof(TelemetryInfoV2, fuelPerSecond) == 1896);
static_assert(offsetof(TelemetryInfoV2, lastLapFuel) == 1900);
static_assert(offsetof(TelemetryInfoV2, fuelPerLap) == 1904);
static_assert(offsetof(TelemetryInfoV2, distancePerFuel) == 1908);

}  // namespace korvanel

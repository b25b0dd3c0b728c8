// Fuel and pace figures from the player's fuel level along the lap.
#pragma once

#include <cstdint>

namespace korvanel {

struct ScoringInfoV2;
struct TelemetryInfoV2;

class PaceEstimator {
 public:
  PaceEstimator() { reset(); }

  // Every field to 0.
  void reset();
  // One sample per scoring update; the outputs are read by the caller.
  void update(const TelemetryInfoV2& telemetry, const ScoringInfoV2& scoring);
  // Copies the five outputs into the telemetry block's figures.
  void publishTo(TelemetryInfoV2& telemetry) const;

  float lastFuel;
  float lastLapDistance;
  int32_t lastLap;
  float lapStartFuel;
  float lapFuelUsed;
  float sumDistance;
  float sumFuel;
  float lapsOfFuelLeft;
  float fuelPerSecond;
  float lastLapFuel;
  float fuelPerLap;
  float distancePerFuel;
};

}  // namespace korvanel

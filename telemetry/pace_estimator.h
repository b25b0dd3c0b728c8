// Fuel and pace figures from the player's fuel level along the lap.
#pragma once

#include <cstdint>

#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"

namespace korvanel {

// Samples the fuel level at each scoring update and averages the distance
// per unit of fuel over every sample since the sums were last cleared (the
// stint). Holds exactly its twelve fields, in this order.
class PaceEstimator {
 public:
  PaceEstimator() { reset(); }

  // Every field to 0.
  void reset();
  // One sample per scoring update, from the latest telemetry copy and the
  // freshly built scoring block; does nothing without a player entry.
  // A lap distance or fuel level that is not a finite number moves the
  // baseline instead of reaching the sums, so the figures are never
  // poisoned by one bad record.
  void update(const TelemetryInfoV2& telemetry, const ScoringInfoV2& scoring);
  // Copies the five outputs into the telemetry block's figures.
  void publishTo(TelemetryInfoV2& telemetry) const;

  float lastFuel;         // fuel level at the baseline
  float lastLapDistance;  // lap distance at the baseline
  int32_t lastLap;        // lap number at the previous update
  float lapStartFuel;     // fuel level when the current lap began
  float lapFuelUsed;      // fuel used on the lap just completed, as computed
  float sumDistance;      // over the accepted samples
  float sumFuel;          // over the accepted samples
  float lapsOfFuelLeft;   // outputs from here on
  float fuelPerSecond;
  float lastLapFuel;
  float fuelPerLap;
  float distancePerFuel;
};

}  // namespace korvanel

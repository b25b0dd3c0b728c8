// Placeholder until the pace estimator lands.
#include "telemetry/pace_estimator.h"

#include "telemetry/telemetry_info.h"

namespace korvanel {

void PaceEstimator::reset() {
  lastFuel = lastLapDistance = 0.0f;
  lastLap = 0;
  lapStartFuel = lapFuelUsed = sumDistance = sumFuel = 0.0f;
  lapsOfFuelLeft = fuelPerSecond = lastLapFuel = fuelPerLap = distancePerFuel = 0.0f;
}

void PaceEstimator::update(const TelemetryInfoV2&, const ScoringInfoV2&) {}

void PaceEstimator::publishTo(TelemetryInfoV2& telemetry) const {
  telemetry.lapsOfFuelLeft = lapsOfFuelLeft;
  telemetry.fuelPerSecond = fuelPerSecond;
  telemetry.lastLapFuel = lastLapFuel;
  telemetry.fuelPerLap = fuelPerLap;
  telemetry.distancePerFuel = distancePerFuel;
}

}  // namespace korvanel

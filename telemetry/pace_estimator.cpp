// The pace estimator's sampling, one step per scoring update.
#include "telemetry/pace_estimator.h"

#include <cmath>

#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"

namespace korvanel {
namespace {

// Lap length used when the host gives none.
constexpr float kFallbackLapLength = 5000.0f;
// A sample must cover more than this distance to count.
constexpr float kMinSampleDistance = 100.0f;

// A lap distance or fuel level that a sample may start or end at: a finite
// number of at least 0 (NaN and infinities are not).
bool usable(float value) { return std::isfinite(value) && value >= 0.0f; }

}  // namespace

void PaceEstimator::reset() {
  lastFuel = lastLapDistance = 0.0f;
  lastLap = 0;
  lapStartFuel = lapFuelUsed = sumDistance = sumFuel = 0.0f;
  lapsOfFuelLeft = fuelPerSecond = lastLapFuel = fuelPerLap = distancePerFuel = 0.0f;
}

void PaceEstimator::update(const TelemetryInfoV2& telemetry, const ScoringInfoV2& scoring) {
  int32_t player = scoring.playerIndex;
  if (player < 0 || player >= kMaxVehicles) return;
  const HostVehicle& vehicle = scoring.vehicles[player].host;

  float lapLength = static_cast<float>(scoring.lapLength);
  // Written as a negated test so that a NaN length also falls back.
  if (!(lapLength > 0.0f)) lapLength = kFallbackLapLength;
  float distance = static_cast<float>(vehicle.lapDistance);
  float fuel = static_cast<float>(telemetry.telemetry.fuelLevel);
  int32_t lap = telemetry.telemetry.lapNumber;

  if (scoring.session >= 10 && scoring.session <= 13 && scoring.phase == 4) {
    lapStartFuel = fuel;
    sumDistance = 0.0f;
    sumFuel = 0.0f;
  }

  if (vehicle.inPits != 0) {
    lastLap = lap;
    lastLapDistance = distance;
    lastFuel = fuel;
    lapStartFuel = fuel;
    lapFuelUsed = 0.0f;
    sumDistance = 0.0f;
    sumFuel = 0.0f;
    return;
  }

  if (vehicle.lastLapTime > 0.0) {
    fuelPerSecond = static_cast<float>(lastLapFuel / vehicle.lastLapTime);
  }

  if (lastLapDistance == distance) return;

  // In 64 bits: lap numbers far apart must not overflow into a difference of 1.
  if (static_cast<int64_t>(lap) - lastLap == 1) {
    lapFuelUsed = lapStartFuel - fuel;
    if (lapStartFuel > 0.0f && lapFuelUsed > 0.0f && std::isfinite(lapFuelUsed)) {
      lastLapFuel = lapFuelUsed;
    }
    lapStartFuel = fuel;
  }

  if (!usable(distance) || !usable(lastLapDistance) || lastLapDistance > distance ||
      !usable(fuel) || !usable(lastFuel) || lastFuel < fuel) {
    lastLap = lap;
    lastLapDistance = distance;
    lastFuel = fuel;
    return;
  }

  lastLap = lap;
  float distanceStep = distance - lastLapDistance;
  float fuelStep = lastFuel - fuel;
  if (distanceStep <= kMinSampleDistance || fuelStep <= 0.0f) return;

  sumDistance = sumDistance + distanceStep;
  sumFuel = sumFuel + fuelStep;
  distancePerFuel = sumFuel != 0.0f ? sumDistance / sumFuel : 0.0f;
  fuelPerLap = distancePerFuel != 0.0f ? lapLength / distancePerFuel : 0.0f;
  lapsOfFuelLeft = distancePerFuel * fuel / lapLength;
  lastLapDistance = distance;
  lastFuel = fuel;
}

void PaceEstimator::publishTo(TelemetryInfoV2& telemetry) const {
  telemetry.lapsOfFuelLeft = lapsOfFuelLeft;
  telemetry.fuelPerSecond = fuelPerSecond;
  telemetry.lastLapFuel = lastLapFuel;
  telemetry.fuelPerLap = fuelPerLap;
  telemetry.distancePerFuel = distancePerFuel;
}

}  // namespace korvanel

// The computing steps of the telemetry update.
#include "telemetry/telemetry_steps.h"

#include <cmath>

namespace korvanel {
namespace {

// A dot product of two three-vectors, rounded once to float.
float dotToFloat(const double* row, const double* v) {
  long double sum = static_cast<long double>(row[0]) * v[0] +
                    static_cast<long double>(row[1]) * v[1] +
                    static_cast<long double>(row[2]) * v[2];
  return static_cast<float>(sum);
}

// p + v t + a t^2 / 2, rounded once to float at the end.
double extrapolate(float v, float a, double p, float t) {
  double sum = (static_cast<double>(v * t) + p) + static_cast<double>(a) * 0.5 * t * t;
  return static_cast<double>(static_cast<float>(sum));
}

}  // namespace

float estimateLapTime(const ScoringInfoV2& scoring, const HostTelemetry& telemetry,
                      uint32_t elapsedMs) {
  if (scoring.phase > 4 && scoring.currentTime > 0.0 && telemetry.lapStartTime > 0.0) {
    float now = static_cast<float>(scoring.currentTime + elapsedMs / 1000.0);
    return static_cast<float>(static_cast<double>(now) - telemetry.lapStartTime);
  }
  return -1.0f;
}

double stepDistance(const HostTelemetry& telemetry) {
  const double* v = telemetry.localVelocity;
  double distance = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * telemetry.deltaTime;
  return (std::isfinite(distance) && distance >= 0.0) ? distance : 0.0;
}

double usableDeltaTime(double deltaTime) {
  return (std::isfinite(deltaTime) && deltaTime >= 0.0) ? deltaTime : 0.0;
}

void runKersTimer(HostState& state, double deltaTime, bool lapChanged,
                  const ScoringInfoV2& scoring, float kersTime) {
  if (state.kersTimerOn != 1) return;
  if (state.kersRunning != 0) {
    // Clamped before narrowing, so a huge step cannot leave float range.
    double remaining = state.kersRemaining - usableDeltaTime(deltaTime);
    state.kersRemaining = (remaining >= 0.0) ? static_cast<float>(remaining) : 0.0f;
  }
  int player = scoring.playerIndex;
  bool inPits = player >= 0 && player < kMaxVehicles &&
                scoring.vehicles[player].host.inPits != 0;
  if (lapChanged || inPits) state.kersRemaining = kersTime;
}

void deadReckon(ScoringInfoV2& scoring, const HostTelemetry& telemetry, uint32_t elapsedMs) {
  int n = scoring.vehicleCount < kDeadReckonedVehicles ? scoring.vehicleCount
                                                       : kDeadReckonedVehicles;
  if (n <= 0) return;
  float t = static_cast<float>(elapsedMs / 1000.0);
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& entry = scoring.vehicles[i];
    if (i == scoring.playerIndex) {
      for (int k = 0; k < 3; ++k) entry.estimatedPosition[k] = telemetry.position[k];
      continue;
    }
    const HostVehicle& v = entry.host;
    const double* r0 = &v.orientation[0];
    const double* r2 = &v.orientation[6];
    entry.estimatedPosition[0] =
        extrapolate(dotToFloat(r0, v.localVelocity), dotToFloat(r0, v.localAcceleration),
                    v.position[0], t);
    entry.estimatedPosition[2] =
        extrapolate(dotToFloat(r2, v.localVelocity), dotToFloat(r2, v.localAcceleration),
                    v.position[2], t);
  }
}

}  // namespace korvanel

// The computing steps of the telemetry update.
#include "telemetry/telemetry_steps.h"

#include <cmath>
#include <cstring>

namespace korvanel {
namespace {

// Three doubles taken out of a host record. The records are packed to 4
// bytes, so a pointer into one may be misaligned for a double: copy first.
struct Vec3 {
  double x, y, z;
};

Vec3 load(const void* field) {
  Vec3 v;
  std::memcpy(&v, field, sizeof v);
  return v;
}

Vec3 loadRow(const void* matrix, int row) {
  Vec3 v;
  std::memcpy(&v, static_cast<const unsigned char*>(matrix) + row * sizeof v, sizeof v);
  return v;
}

// A dot product worked in extended precision and rounded once to float.
float dotToFloat(const Vec3& a, const Vec3& b) {
  long double sum = static_cast<long double>(a.x) * b.x + static_cast<long double>(a.y) * b.y +
                    static_cast<long double>(a.z) * b.z;
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
  Vec3 v = load(telemetry.localVelocity);
  double distance = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z) * telemetry.deltaTime;
  return (std::isfinite(distance) && distance >= 0.0) ? distance : 0.0;
}

double usableDeltaTime(double deltaTime) {
  return (std::isfinite(deltaTime) && deltaTime >= 0.0) ? deltaTime : 0.0;
}

void runKersTimer(HostState& state, double deltaTime, bool lapChanged, const ScoringInfoV2& scoring,
                  float kersTime) {
  if (state.kersTimerOn != 1) return;
  if (state.kersRunning != 0) {
    // Clamped before narrowing, so a huge step cannot leave float range.
    double remaining = state.kersRemaining - usableDeltaTime(deltaTime);
    state.kersRemaining = (remaining >= 0.0) ? static_cast<float>(remaining) : 0.0f;
  }
  int player = scoring.playerIndex;
  bool inPits = player >= 0 && player < kMaxVehicles && scoring.vehicles[player].host.inPits != 0;
  if (lapChanged || inPits) state.kersRemaining = kersTime;
}

void deadReckon(ScoringInfoV2& scoring, const HostTelemetry& telemetry, uint32_t elapsedMs) {
  int n =
      scoring.vehicleCount < kDeadReckonedVehicles ? scoring.vehicleCount : kDeadReckonedVehicles;
  if (n <= 0) return;
  float t = static_cast<float>(elapsedMs / 1000.0);
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& entry = scoring.vehicles[i];
    if (i == scoring.playerIndex) {
      std::memcpy(entry.estimatedPosition, telemetry.position, sizeof entry.estimatedPosition);
      continue;
    }
    const HostVehicle& car = entry.host;
    Vec3 p = load(car.position);
    Vec3 v = load(car.localVelocity);
    Vec3 a = load(car.localAcceleration);
    Vec3 r0 = loadRow(car.orientation, 0);
    Vec3 r2 = loadRow(car.orientation, 2);
    entry.estimatedPosition[0] = extrapolate(dotToFloat(r0, v), dotToFloat(r0, a), p.x, t);
    entry.estimatedPosition[2] = extrapolate(dotToFloat(r2, v), dotToFloat(r2, a), p.z, t);
  }
}

}  // namespace korvanel

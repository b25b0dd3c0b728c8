// The computing steps of the telemetry update.
#include "telemetry/telemetry_steps.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/bytes.h"

namespace korvanel {
namespace {

// Three doubles taken out of a host record. The records are packed to 4
// bytes, so a pointer into one may be misaligned for a double: copy first.
struct Vec3 {
  double x, y, z;
};

// Each double on its own: one copy of all 24 bytes goes through a temporary
// on the stack, and reading its halves back stalls the loop.
Vec3 load(const void* field) {
  const unsigned char* p = static_cast<const unsigned char*>(field);
  Vec3 v;
  std::memcpy(&v.x, p, sizeof v.x);
  std::memcpy(&v.y, p + sizeof v.x, sizeof v.y);
  std::memcpy(&v.z, p + 2 * sizeof v.x, sizeof v.z);
  return v;
}

// A dot product worked in extended precision and rounded once to float.
float extendedDotToFloat(const Vec3& a, const Vec3& b) {
  long double sum = static_cast<long double>(a.x) * b.x + static_cast<long double>(a.y) * b.y +
                    static_cast<long double>(a.z) * b.z;
  return static_cast<float>(sum);
}

uint32_t floatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// The same float as extendedDotToFloat(), found in double arithmetic, which
// is several times faster than the extended kind on every target. The
// double sum s and the extended sum each lie within 3 roundings of the exact
// value, so the extended sum lies within s +- bound, bound being 2^-49 times
// the sum of the magnitudes (over 12 roundings' worth) plus a margin for
// underflow. Rounding to float keeps order, so when both ends of that
// interval round to the same float the extended sum does too, and `out` is
// that float. Returns false, leaving `out` meaningless, when the interval
// cannot settle it (a rounding boundary inside it, a zero whose sign it
// cannot tell, infinities, NaN). No branches, so four can run side by side.
bool fastDotToFloat(const Vec3& a, const Vec3& b, float& out) {
  double px = a.x * b.x;
  double py = a.y * b.y;
  double pz = a.z * b.z;
  double sum = (px + py) + pz;
  double bound = (std::fabs(px) + std::fabs(py) + std::fabs(pz)) * 0x1p-49 + 0x1p-1000;
  float low = static_cast<float>(sum - bound);
  float high = static_cast<float>(sum + bound);
  out = low;
  return (bound <= DBL_MAX) & (floatBits(low) == floatBits(high));  // NaN fails the first
}

// The four rounded dot products of one car, which depend only on its
// velocity, acceleration and orientation: those change with each scoring
// update, while dead reckoning runs at every telemetry update in between.
// Kept per entry index with a copy of the bytes they were worked out from,
// and used again only while the entry holds the very same bytes.
constexpr size_t kDotInputsOffset = offsetof(HostVehicle, localVelocity);
constexpr size_t kDotInputsSize = offsetof(HostVehicle, passthrough408) - kDotInputsOffset;
static_assert(offsetof(HostVehicle, localAcceleration) > kDotInputsOffset &&
                  offsetof(HostVehicle, orientation) + 9 * sizeof(double) ==
                      kDotInputsOffset + kDotInputsSize,
              "velocity, acceleration and orientation lie together");
static_assert(kDotInputsSize % 8 == 0, "whole words");

struct CarDots {
  unsigned char inputs[kDotInputsSize];
  bool known;
  float vx, ax, vz, az;
  double halfAx, halfAz;  // a * 0.5, the first step of the a t^2 / 2 term (exact)
};
// Not thread-safe, like the block itself: callers hold the data lock.
CarDots gCarDots[kDeadReckonedVehicles];

// Out of line: inlined, the compiler starts the loads of the four vectors
// before the comparison, through integer registers and the stack on the
// 32-bit build, and every telemetry update pays for them.
__attribute__((noinline)) void workOutDots(CarDots& d, const HostVehicle& car,
                                           const unsigned char* inputs) {
  Vec3 v = load(car.localVelocity);
  Vec3 a = load(car.localAcceleration);
  Vec3 r0 = load(car.orientation);      // row 0
  Vec3 r2 = load(car.orientation + 6);  // row 2
  bool settled = fastDotToFloat(r0, v, d.vx) & fastDotToFloat(r0, a, d.ax) &
                 fastDotToFloat(r2, v, d.vz) & fastDotToFloat(r2, a, d.az);
  if (!settled) {
    d.vx = extendedDotToFloat(r0, v);
    d.ax = extendedDotToFloat(r0, a);
    d.vz = extendedDotToFloat(r2, v);
    d.az = extendedDotToFloat(r2, a);
  }
  d.halfAx = static_cast<double>(d.ax) * 0.5;
  d.halfAz = static_cast<double>(d.az) * 0.5;
  std::memcpy(d.inputs, inputs, kDotInputsSize);
  d.known = true;
}

const CarDots& dotsOf(int index, const HostVehicle& car) {
  CarDots& d = gCarDots[index];
  const unsigned char* inputs = reinterpret_cast<const unsigned char*>(&car) + kDotInputsOffset;
  if (!d.known || !sameBytes<kDotInputsSize>(d.inputs, inputs)) workOutDots(d, car, inputs);
  return d;
}

// p + v t + a t^2 / 2, rounded once to float at the end, with `halfA` the
// double a * 0.5 and `td` the double of t: the same operations in the same
// order as (v t + p) + a * 0.5 * t * t.
double extrapolate(float v, double halfA, double p, float t, double td) {
  double sum = (static_cast<double>(v * t) + p) + halfA * td * td;
  return static_cast<double>(static_cast<float>(sum));
}

double loadDouble(const double* field) {
  double x;
  std::memcpy(&x, field, sizeof x);
  return x;
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

void runKersTimer(float& remaining, uint8_t timerOn, uint8_t running, double deltaTime,
                  bool lapChanged, const ScoringInfoV2& scoring, float kersTime) {
  if (timerOn != 1) return;
  if (running != 0) {
    // Clamped before narrowing, so a huge step cannot leave float range.
    double left = remaining - usableDeltaTime(deltaTime);
    remaining = (left >= 0.0) ? static_cast<float>(left) : 0.0f;
  }
  int player = scoring.playerIndex;
  bool inPits = player >= 0 && player < kMaxVehicles && scoring.vehicles[player].host.inPits != 0;
  if (lapChanged || inPits) remaining = kersTime;
}

namespace {

// Entries moved and then copied together: a run small enough to stay in the
// first-level cache between the two, large enough that the copy of a run
// starts up once per several entries.
constexpr int kRunEntries = 16;

void reckonEntries(ScoringInfoV2& scoring, const HostTelemetry& telemetry, int from, int to,
                   float t, double td) {
  for (int i = from; i < to; ++i) {
    VehicleInfoV2& entry = scoring.vehicles[i];
    if (i == scoring.playerIndex) {
      std::memcpy(entry.estimatedPosition, telemetry.position, sizeof entry.estimatedPosition);
      continue;
    }
    const HostVehicle& car = entry.host;
    const CarDots& d = dotsOf(i, car);
    entry.estimatedPosition[0] = extrapolate(d.vx, d.halfAx, loadDouble(&car.position[0]), t, td);
    entry.estimatedPosition[2] = extrapolate(d.vz, d.halfAz, loadDouble(&car.position[2]), t, td);
  }
}

}  // namespace

void deadReckon(ScoringInfoV2& scoring, const HostTelemetry& telemetry, uint32_t elapsedMs,
                ScoringInfoV2* copy) {
  const int n = std::clamp<int>(scoring.vehicleCount, 0, kDeadReckonedVehicles);
  float t = static_cast<float>(elapsedMs / 1000.0);
  const double td = t;
  auto* from = reinterpret_cast<const unsigned char*>(&scoring);
  auto* to = reinterpret_cast<unsigned char*>(copy);
  size_t copied = 0;
  auto copyUpTo = [&](size_t end) {
    if (copy != nullptr) copyBlock(to + copied, from + copied, end - copied);
    copied = end;
  };
  for (int run = 0; run < n; run += kRunEntries) {
    int end = run + kRunEntries < n ? run + kRunEntries : n;
    reckonEntries(scoring, telemetry, run, end, t, td);
    copyUpTo(offsetof(ScoringInfoV2, vehicles) + sizeof(VehicleInfoV2) * end);
  }
  copyUpTo(sizeof(ScoringInfoV2));
}

}  // namespace korvanel

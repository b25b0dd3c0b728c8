// The faster ways of the update cycles against the plain computations they
// replace, on inputs chosen to hit their edges: rounding boundaries,
// cancelling terms, zeros of either sign, tiny and huge numbers, NaN and
// infinity for the dead reckoning; letter case and bytes of 128 and up for
// the upper-case names.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "scoring/class_pattern.h"
#include "scoring/scoring_block.h"
#include "scoring/vehicle_conversion.h"
#include "settings/plugin_config.h"
#include "telemetry/telemetry_steps.h"
#include "tests/test_support.h"
#include "text/ascii_text.h"

namespace korvanel {
namespace {

using testing::Random;

// ---- Dead reckoning ---------------------------------------------------------

// The computation as first written: every dot product in extended precision.
float referenceDot(const double* row, const double* v) {
  long double sum = static_cast<long double>(row[0]) * v[0] +
                    static_cast<long double>(row[1]) * v[1] +
                    static_cast<long double>(row[2]) * v[2];
  return static_cast<float>(sum);
}

double referenceStep(float v, float a, double p, float t) {
  double sum = (static_cast<double>(v * t) + p) + static_cast<double>(a) * 0.5 * t * t;
  return static_cast<double>(static_cast<float>(sum));
}

struct Car {
  double position[3];
  double velocity[3];
  double acceleration[3];
  double orientation[9];
};

void place(VehicleInfoV2& e, const Car& c) {
  std::memcpy(e.host.position, c.position, sizeof c.position);
  std::memcpy(e.host.localVelocity, c.velocity, sizeof c.velocity);
  std::memcpy(e.host.localAcceleration, c.acceleration, sizeof c.acceleration);
  std::memcpy(e.host.orientation, c.orientation, sizeof c.orientation);
}

void expectSameBits(double expected, double actual, int car, const char* what) {
  // Which NaN a sum of two NaNs gives depends on the order the compiler
  // picks for the operands, in the plain computation as much as here.
  if (std::isnan(expected) && std::isnan(actual)) return;
  uint64_t a, b;
  std::memcpy(&a, &expected, 8);
  std::memcpy(&b, &actual, 8);
  EXPECT_EQ(a, b) << what << " of car " << car << ": expected " << expected << ", got " << actual;
}

// A double of any size and sign, zeros and special values now and then.
double anyDouble(Random& r) {
  switch (r.below(24)) {
    case 0:
      return 0.0;
    case 1:
      return -0.0;
    case 2:
      return std::numeric_limits<double>::infinity();
    case 3:
      return std::numeric_limits<double>::quiet_NaN();
    case 4:
      return std::numeric_limits<double>::denorm_min() * r.below(1000);
    case 5:
      return 1.0;
    default:
      break;
  }
  double m = r.unit() + 0.5;
  int exponent = r.below(80) - 40;
  if (r.below(8) == 0) exponent = r.below(2000) - 1000;
  double x = std::ldexp(m, exponent);
  return r.below(2) ? -x : x;
}

// Terms that nearly cancel, or a sum that lands on the midpoint between two
// floats, so the rounding to float is decided by the last bits.
void makeHard(Random& r, double* row, double* v) {
  float f = static_cast<float>(r.unit() * 100.0 - 50.0);
  double next = std::nextafter(static_cast<double>(f), 1e300);
  double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 1e30f))) / 2;
  switch (r.below(4)) {
    case 0:  // exactly a midpoint plus or minus far below a double's last bit
      row[0] = 1.0;
      v[0] = mid;
      row[1] = 1.0;
      v[1] = std::ldexp(r.below(2) ? 1.0 : -1.0, -80 - r.below(20));
      row[2] = 0.0;
      v[2] = 1.0;
      break;
    case 1:  // two large terms cancel, a small one decides
      row[0] = 3.0;
      v[0] = 1e15 + r.below(1000);
      row[1] = -3.0;
      v[1] = v[0];
      row[2] = 1.0;
      v[2] = mid * std::ldexp(1.0, -r.below(30));
      break;
    case 2:  // the extended sum keeps bits the double sum drops
      row[0] = 1.0 + std::ldexp(1.0, -52);
      v[0] = 1.0 + std::ldexp(1.0, -30);
      row[1] = -1.0;
      v[1] = 1.0;
      row[2] = 1.0;
      v[2] = next - static_cast<double>(f);
      break;
    default:  // exact zero from cancellation: the sign of zero matters
      row[0] = 2.0;
      v[0] = 0.5;
      row[1] = -1.0;
      v[1] = 1.0;
      row[2] = r.below(2) ? -0.0 : 0.0;
      v[2] = 7.0;
      break;
  }
}

// A dot product whose double sum lies a whole double step below the midpoint
// between two floats while the extended sum lies above it: three roundings in
// double each drop almost half a step that the extended sum keeps. Only a
// bound wide enough sends it to the extended computation. Returns false when
// the search for such numbers fails.
bool makeSplitCase(Random& r, double* row, double* v) {
  const double step = std::ldexp(1.0, -52);  // a double step in [1, 2)
  double f = 1.0 + std::ldexp(static_cast<double>(1 + r.below(1 << 20)), -23);
  double mid = f + std::ldexp(1.0, -24);
  double third = 15.0 / 32.0 * step;  // exact, and each sum drops it
  for (int tries = 0; tries < 20000; ++tries) {
    double a = 1.0 + std::ldexp(static_cast<double>(1 + r.below(1 << 22)), -30);
    double b = (mid - step + 0.45 * step) / a;
    double product = a * b;
    double lost = std::fma(a, b, -product);  // exactly what the double product drops
    if (product == mid - step && lost > 0.40 * step && lost < 0.49 * step) {
      row[0] = a;
      v[0] = b;
      row[1] = 1.0;
      v[1] = third;
      row[2] = 1.0;
      v[2] = third;
      return true;
    }
  }
  return false;
}

TEST(DeadReckoningFastPath, SplitCasesGoTheExtendedWay) {
  auto block = std::make_unique<ScoringInfoV2>();
  HostTelemetry telemetry{};
  Random r(99);
  int split = 0;
  block->vehicleCount = kDeadReckonedVehicles;
  block->playerIndex = -1;
  std::vector<Car> cars(kDeadReckonedVehicles);
  for (int i = 0; i < kDeadReckonedVehicles; ++i) {
    Car& c = cars[i];
    c = Car{};
    // The other three products plain, so that only the split one decides
    // (an exact zero among them would send the car the extended way anyway).
    c.acceleration[0] = 0.75;
    c.acceleration[1] = 0.5;
    c.acceleration[2] = 0.25;
    c.orientation[4] = 1.0;
    c.orientation[6] = 0.5;
    c.orientation[7] = 0.25;
    c.orientation[8] = 2.0;
    if (!makeSplitCase(r, &c.orientation[0], c.velocity)) continue;
    double doubleSum = (c.orientation[0] * c.velocity[0] + c.velocity[1]) + c.velocity[2];
    if (static_cast<float>(doubleSum) != referenceDot(&c.orientation[0], c.velocity)) ++split;
    place(block->vehicles[i], c);
  }
  // Most cases split; without that this test would prove nothing.
  ASSERT_GT(split, kDeadReckonedVehicles / 2);
  deadReckon(*block, telemetry, 1000);
  for (int i = 0; i < kDeadReckonedVehicles; ++i) {
    const Car& c = cars[i];
    double x = referenceStep(referenceDot(&c.orientation[0], c.velocity),
                             referenceDot(&c.orientation[0], c.acceleration), c.position[0], 1.0f);
    double z = referenceStep(referenceDot(&c.orientation[6], c.velocity),
                             referenceDot(&c.orientation[6], c.acceleration), c.position[2], 1.0f);
    expectSameBits(x, block->vehicles[i].estimatedPosition[0], i, "x");
    expectSameBits(z, block->vehicles[i].estimatedPosition[2], i, "z");
  }
}

TEST(DeadReckoningFastPath, PublishesWhatTheExtendedComputationGives) {
  auto block = std::make_unique<ScoringInfoV2>();
  HostTelemetry telemetry{};
  Random r(20261208);
  std::vector<Car> cars(kDeadReckonedVehicles);
  int hard = 0;
  for (int round = 0; round < 400; ++round) {
    block->vehicleCount = kDeadReckonedVehicles;
    block->playerIndex = -1;
    for (int i = 0; i < kDeadReckonedVehicles; ++i) {
      Car& c = cars[i];
      for (double& x : c.position) x = anyDouble(r);
      for (double& x : c.velocity) x = anyDouble(r);
      for (double& x : c.acceleration) x = anyDouble(r);
      for (double& x : c.orientation) x = anyDouble(r);
      if (r.below(3) == 0) {
        makeHard(r, &c.orientation[0], c.velocity);
        makeHard(r, &c.orientation[6], c.acceleration);
        ++hard;
      }
      place(block->vehicles[i], c);
    }
    uint32_t elapsed = static_cast<uint32_t>(r.below(3000));
    // Twice: the second time the kept products are used.
    for (int pass = 0; pass < 2; ++pass) {
      deadReckon(*block, telemetry, elapsed + pass);
      float t = static_cast<float>((elapsed + pass) / 1000.0);
      for (int i = 0; i < kDeadReckonedVehicles; ++i) {
        const Car& c = cars[i];
        double x = referenceStep(referenceDot(&c.orientation[0], c.velocity),
                                 referenceDot(&c.orientation[0], c.acceleration), c.position[0], t);
        double z = referenceStep(referenceDot(&c.orientation[6], c.velocity),
                                 referenceDot(&c.orientation[6], c.acceleration), c.position[2], t);
        expectSameBits(x, block->vehicles[i].estimatedPosition[0], i, "x");
        expectSameBits(z, block->vehicles[i].estimatedPosition[2], i, "z");
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(hard, 1000);
}

TEST(DeadReckoningFastPath, AChangeOfAnyInputByteIsSeen) {
  auto block = std::make_unique<ScoringInfoV2>();
  HostTelemetry telemetry{};
  Car c{};
  c.velocity[2] = 50.0;
  c.acceleration[0] = 2.0;
  c.orientation[0] = c.orientation[4] = c.orientation[8] = 1.0;
  block->vehicleCount = 1;
  block->playerIndex = -1;
  // By value: the block is packed, its doubles may be misaligned.
  auto x = [&] { return static_cast<double>(block->vehicles[0].estimatedPosition[0]); };
  place(block->vehicles[0], c);
  deadReckon(*block, telemetry, 1000);
  EXPECT_EQ(x(), 1.0);  // a t^2 / 2

  // A different velocity, acceleration or orientation must not be answered
  // from what was kept; row 1, which the result does not use, changes nothing.
  c.orientation[2] = 1.0;  // x now takes the forward speed too
  place(block->vehicles[0], c);
  deadReckon(*block, telemetry, 1000);
  EXPECT_EQ(x(), 51.0);
  c.acceleration[0] = 4.0;
  place(block->vehicles[0], c);
  deadReckon(*block, telemetry, 1000);
  EXPECT_EQ(x(), 52.0);
  c.orientation[4] = 0.5;
  place(block->vehicles[0], c);
  deadReckon(*block, telemetry, 1000);
  EXPECT_EQ(x(), 52.0);
}

// ---- Upper-case names -------------------------------------------------------

TEST(UpperCaseNames, EveryByteValueAsThePlainLoopGives) {
  auto block = std::make_unique<ScoringInfoV2>();
  HostVehicle v{};
  Random r(77);
  for (int round = 0; round < 3000; ++round) {
    // Any bytes, a terminator somewhere or nowhere, stale bytes behind it.
    for (char& c : v.driverName) c = static_cast<char>(1 + r.below(255));
    for (char& c : v.vehicleClass) c = static_cast<char>(1 + r.below(255));
    int driverEnd = r.below(40);
    int classEnd = r.below(40);
    if (driverEnd < 32) v.driverName[driverEnd] = 0;
    if (classEnd < 32) v.vehicleClass[classEnd] = 0;
    std::memset(block->vehicles[0].driverNameUpper, 'x', 64);
    std::memset(block->vehicles[0].vehicleClassUpper, 'x', 32);

    convertVehicle(block->vehicles[0], v, 1000.0, nullptr);
    const ScoringInfoV2& b = *block;

    char expectDriver[64] = {};
    char expectClass[32] = {};
    for (int i = 0; i < 31 && v.driverName[i]; ++i) expectDriver[i] = upperCase(v.driverName[i]);
    for (int i = 0; i < 31 && v.vehicleClass[i]; ++i) {
      expectClass[i] = upperCase(v.vehicleClass[i]);
    }
    ASSERT_EQ(std::memcmp(expectDriver, b.vehicles[0].driverNameUpper, 64), 0) << round;
    ASSERT_EQ(std::memcmp(expectClass, b.vehicles[0].vehicleClassUpper, 32), 0) << round;
  }
}

// ---- Class grouping -----------------------------------------------------------

// Each car's class answer and team mark are kept in its slot from update to
// update; every entry must still get what the row's patterns give it one by
// one, first match deciding, and the mark the team list gives it, as cars
// change names, the display changes rows, the player changes class and the
// team list changes.
TEST(ClassGrouping, KeptAnswersAreThoseOfEveryPatternInTurn) {
  const char* classes[] = {"GT3", "gt3", "GT4 Pro", "GT4 Am", "LMP1", "LMP2", "#GT", "$#OKA",
                           "@",   "",    "Hyper",   "CUP",    "TCR",  "GTE",  "GTX", "P3",
                           "P4",  "M1",  "M2",      "M3",     "M4",   "M5",   "M6",  "Legends"};
  const char* drivers[] = {"Jane Doe", "Maya Okafor", "Hugo Petit", "John Smith", "gt3", "okay"};
  const char* patterns[] = {"GT3", "#GT",  "#GT4", "@", "$#OKA", "$JANE DOE", "$GT3",
                            "*",   "LMP2", "$#",   "#", "M6",    "LEGENDS",   "$@"};
  auto block = std::make_unique<ScoringInfoV2>();
  auto slots = std::make_unique<CarSlots>();
  RaceOrder order;
  const float topSpeeds[kMaxVehicles] = {};
  PluginConfig config;
  std::vector<HostVehicle> vehicles(150);
  Random r(5);
  const char* row[kClassSlots] = {"Row"};
  int count = 0;
  for (int round = 0; round < 400; ++round) {
    int n = 1 + r.below(150);
    for (int i = 0; i < n; ++i) {
      HostVehicle& v = vehicles[i];
      // Most cars keep their names from one update to the next.
      if (round > 0 && r.below(10) != 0) continue;
      v = HostVehicle{};
      std::snprintf(v.vehicleClass, sizeof v.vehicleClass, "%s", classes[r.below(24)]);
      std::snprintf(v.driverName, sizeof v.driverName, "%s", drivers[r.below(6)]);
      v.place = static_cast<uint8_t>(i + 1);
    }
    int playerAt = r.below(4) == 0 ? r.below(n) : 3;
    for (int i = 0; i < n; ++i) vehicles[i].isPlayer = i == playerAt ? 1 : 0;
    if (round % 4 == 0) {
      for (int k = 1; k < kClassSlots; ++k) row[k] = nullptr;
      count = r.below(7);
      for (int k = 1; k <= count; ++k) row[k] = patterns[r.below(14)];
      for (int k = 0; k < kClassSlots; ++k) config.classRows[2][k] = row[k];
    }

    HostScoring scoring{};
    scoring.lapLength = 1000.0;
    scoring.vehicleCount = n;
    scoring.vehicles = vehicles.data();
    if (round % 5 == 0) {
      config.teamMembers.assign(drivers + r.below(3), drivers + 3 + r.below(3));
      config.realtimeMode = true;
    }
    slots->beginPass();
    orderRace(scoring, slots.get(), order);
    fillScoringEntries(*block, scoring, order, topSpeeds);
    analyseField(*block, config, 2, slots.get(), order.slot);

    const ScoringInfoV2& b = *block;
    const VehicleInfoV2* player = b.playerIndex >= 0 ? &b.vehicles[b.playerIndex] : nullptr;
    int32_t next = 1;
    for (int i = 0; i < n; ++i) {
      PatternMatch m = PatternMatch::kNone;
      for (int k = 1; k <= count && m == PatternMatch::kNone; ++k) {
        m = matchPattern(row[k], b.vehicles[i], player);
      }
      int32_t position = m == PatternMatch::kNone               ? 0
                         : m == PatternMatch::kMemberKeepsPlace ? b.vehicles[i].host.place
                                                                : next++;
      ASSERT_EQ(b.vehicles[i].inClassGroup, m == PatternMatch::kNone ? 0 : 1) << round << " " << i;
      ASSERT_EQ(b.vehicles[i].classPosition, position) << round << " " << i;
      bool member = false;
      for (const std::string& name : config.teamMembers) {
        member |= equalsIgnoreCase(b.vehicles[i].host.driverName, name.c_str());
      }
      ASSERT_EQ(b.vehicles[i].teamMember, member ? 1 : 0) << round << " " << i;
    }
  }
}

}  // namespace
}  // namespace korvanel

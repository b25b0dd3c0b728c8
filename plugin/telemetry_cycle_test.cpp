// The telemetry update driven through the plugin object: the copy, the
// lap-time estimate, the odometer feed and commands, the KERS timer, dead
// reckoning and what reaches the shared block.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/data_lock.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::FakeClock;
using testing::makeTelemetry;
using testing::ScoringBuilder;
using testing::ScratchFolder;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

HostVehicle& addPlayer(ScoringBuilder& scoring, uint8_t place) {
  HostVehicle& v = scoring.addVehicle("Player One", place);
  v.isPlayer = 1;
  v.control = 0;
  return v;
}

// A yaw by `angle` about the vertical axis: rows 0 and 2 mix the car's x and
// z, so a transposed or wrong row gives a visibly different answer.
void setYaw(HostVehicle& v, double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  double rows[9] = {c, 0.0, s, 0.0, 1.0, 0.0, -s, 0.0, c};
  std::memcpy(v.orientation, rows, sizeof rows);
}

double dot(const double* row, const double* v) {
  return row[0] * v[0] + row[1] * v[1] + row[2] * v[2];
}

// A component of entry `i`'s estimated position in the published block,
// copied out: the 4-byte packing may leave the double misaligned.
double estimated(int i, int k) {
  double value;
  std::memcpy(&value, &publishedScoring().vehicles[i].estimatedPosition[k], sizeof value);
  return value;
}

// Row `i` of an entry's orientation, copied out of the 4-byte packed record.
void orientationRow(const VehicleInfoV2& entry, int i, double (&row)[3]) {
  std::memcpy(row, reinterpret_cast<const unsigned char*>(entry.host.orientation) + 24 * i, 24);
}

class TelemetryCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sharedBlock(), nullptr);
    plugin.startup(0);
    plugin.startSession();
    config().kersTime = 4.5f;
    cycleState().previousLapNumber = 10000;
    // The scoring block outlives every test: no player, in the pits or not,
    // left over from an earlier one.
    publishedScoring().playerIndex = -1;
    publishedScoring().vehicleCount = 0;
  }

  PluginConfig& config() { return PluginConfig::instance(pluginLog()); }
  SharedBlock& block() { return *sharedBlock(); }
  HostState& state() { return hostState(); }

  void send(const HostTelemetry& t) { plugin.updateTelemetry(&t); }
  void send(ScoringBuilder& s) { plugin.updateScoring(s.record()); }

  // Writes the KERS switches and the time left where a display program does.
  void setKers(uint8_t on, uint8_t running, float remaining) {
    block().state.kersTimerOn = on;
    block().state.kersRunning = running;
    block().state.kersRemaining = remaining;
  }

  ScratchFolder folder;
  FakeClock clock{700000};
  RenderPlugin plugin;
};

TEST_F(TelemetryCycleTest, PublishesTheRecordByteForByteInBothCopies) {
  HostTelemetry t;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&t);
  for (size_t i = 0; i < sizeof t; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  int32_t countBefore = block().state.updateCount;
  send(t);

  ASSERT_EQ(sizeof(HostTelemetry), 1888u);
  EXPECT_EQ(std::memcmp(&publishedTelemetry().telemetry, &t, sizeof t), 0);
  EXPECT_EQ(std::memcmp(&block().telemetry, &publishedTelemetry(), sizeof(TelemetryInfoV2)), 0);
  EXPECT_EQ(state().updateCount, countBefore + 1);
  EXPECT_EQ(state().dataUpdated, 1);
  EXPECT_EQ(std::memcmp(&block().state, &state(), sizeof(HostState)), 0);

  block().state.updateCount = std::numeric_limits<int32_t>::max();
  send(t);
  EXPECT_EQ(state().updateCount, std::numeric_limits<int32_t>::min());
}

TEST_F(TelemetryCycleTest, EstimatesTheLapTimeWithItsRoundingPoints) {
  ScoringBuilder scoring;
  addPlayer(scoring, 1);
  scoring.header().phase = 5;
  scoring.header().currentTime = 10000.123456789;
  send(scoring);
  clock.advance(1);

  HostTelemetry t = makeTelemetry();
  t.lapStartTime = 9999.0;
  send(t);
  // 10000.124456789 rounds to the float 10000.1240234375 before the lap
  // start is taken off; without that rounding the result would be 1.1244568.
  EXPECT_EQ(publishedTelemetry().estimatedLapTime, 1.1240234375f);
  EXPECT_EQ(block().telemetry.estimatedLapTime, 1.1240234375f);

  clock.advance(2499);
  send(t);
  EXPECT_NEAR(publishedTelemetry().estimatedLapTime, 3.6234, 1e-3);
}

TEST_F(TelemetryCycleTest, LapTimeIsMinusOneWithoutGreenPhaseClockOrLapStart) {
  struct Case {
    uint8_t phase;
    double currentTime;
    double lapStartTime;
  } cases[] = {{4, 120.0, 100.0}, {0, 120.0, 100.0}, {5, 0.0, 100.0}, {5, -3.0, 100.0},
               {5, 120.0, 0.0},   {5, kNaN, 100.0},  {5, 120.0, kNaN}};
  for (const Case& c : cases) {
    ScoringBuilder scoring;
    addPlayer(scoring, 1);
    scoring.header().phase = c.phase;
    scoring.header().currentTime = c.currentTime;
    send(scoring);
    HostTelemetry t = makeTelemetry();
    t.lapStartTime = c.lapStartTime;
    send(t);
    EXPECT_EQ(publishedTelemetry().estimatedLapTime, -1.0f)
        << "phase " << int(c.phase) << " clock " << c.currentTime << " start " << c.lapStartTime;
  }
}

TEST_F(TelemetryCycleTest, ElapsedTimeSurvivesAWrapOfTheTickCounter) {
  clock.set(0xFFFFFF00u);
  ScoringBuilder scoring;
  addPlayer(scoring, 1);
  HostVehicle& other = scoring.addVehicle("Other", 2);
  other.position[0] = 50.0;
  other.localVelocity[0] = 10.0;
  send(scoring);
  clock.advance(0x200);  // past 2^32: 512 ms later

  HostTelemetry t = makeTelemetry();
  t.lapStartTime = 100.0;
  send(t);
  EXPECT_NEAR(publishedTelemetry().estimatedLapTime, 20.512, 1e-4);
  EXPECT_NEAR(estimated(1, 0), 55.12, 1e-4);
}

TEST_F(TelemetryCycleTest, FirstUpdateOfTheProcessCountsAsALapChange) {
  setKers(1, 0, 1.25f);
  HostTelemetry t = makeTelemetry();
  t.lapNumber = 3;
  send(t);
  EXPECT_EQ(state().kersRemaining, 4.5f);

  // The same lap again is no change; a new lap reloads once more.
  setKers(1, 0, 1.25f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 1.25f);
  t.lapNumber = 4;
  send(t);
  EXPECT_EQ(state().kersRemaining, 4.5f);
  EXPECT_EQ(block().state.kersRemaining, 4.5f);
}

TEST_F(TelemetryCycleTest, KersTimerCountsDownToZeroOnlyWhileSwitchedOn) {
  HostTelemetry t = makeTelemetry();
  send(t);  // uses up the first update's lap change

  t.deltaTime = 0.5;
  setKers(1, 1, 2.0f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 1.5f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 1.0f);

  // 0.05 - 0.1 stops at 0, not below.
  t.deltaTime = 0.1;
  setKers(1, 1, 0.05f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 0.0f);
  EXPECT_FALSE(std::signbit(state().kersRemaining));
  send(t);
  EXPECT_EQ(state().kersRemaining, 0.0f);

  // Not running: no countdown.
  setKers(1, 0, 2.0f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 2.0f);

  // Only exactly 1 switches the timer on: not even a lap change reloads.
  for (uint8_t on : {0, 2, 255}) {
    setKers(on, 1, 2.0f);
    t.lapNumber += 1;
    send(t);
    EXPECT_EQ(state().kersRemaining, 2.0f) << "kersTimerOn " << int(on);
  }
}

TEST_F(TelemetryCycleTest, KersTimerReloadsOnEveryUpdateInThePits) {
  ScoringBuilder scoring;
  addPlayer(scoring, 2).inPits = 1;
  scoring.addVehicle("Leader", 1);
  send(scoring);
  ASSERT_EQ(publishedScoring().playerIndex, 1);

  HostTelemetry t = makeTelemetry();
  t.deltaTime = 1.0;
  for (int i = 0; i < 3; ++i) {
    setKers(1, 1, 2.0f);
    send(t);
    EXPECT_EQ(state().kersRemaining, 4.5f);
  }

  scoring.vehicles()[0].inPits = 0;
  send(scoring);
  setKers(1, 1, 4.5f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 3.5f);
}

TEST_F(TelemetryCycleTest, KersTimerIgnoresBadStepsAndNeverHoldsNaN) {
  HostTelemetry t = makeTelemetry();
  send(t);

  for (double delta : {kNaN, -0.5, -kInf, kInf}) {
    setKers(1, 1, 2.0f);
    t.deltaTime = delta;
    send(t);
    EXPECT_EQ(state().kersRemaining, 2.0f) << "deltaTime " << delta;
  }
  t.deltaTime = 1e300;  // huge but finite: the time has run out
  setKers(1, 1, 2.0f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 0.0f);

  // A NaN or negative value written from outside counts down to 0.
  t.deltaTime = 0.1;
  setKers(1, 1, std::numeric_limits<float>::quiet_NaN());
  send(t);
  EXPECT_EQ(state().kersRemaining, 0.0f);
  setKers(1, 1, -3.0f);
  send(t);
  EXPECT_EQ(state().kersRemaining, 0.0f);
}

TEST_F(TelemetryCycleTest, FeedsTheStepDistanceToTheOdometer) {
  Odometer& odometer = plugin.odometer();
  odometer.vehicleTotal = 100.0;
  odometer.trackTotal = 200.0;
  HostTelemetry t = makeTelemetry();
  t.localVelocity[0] = 3.0;
  t.localVelocity[1] = 4.0;
  t.localVelocity[2] = 12.0;  // speed 13
  t.deltaTime = 0.5;
  send(t);
  EXPECT_DOUBLE_EQ(odometer.vehicleTotal, 106.5);
  EXPECT_DOUBLE_EQ(odometer.trackTotal, 206.5);
  EXPECT_DOUBLE_EQ(state().vehicleDistance, 106.5);
  EXPECT_DOUBLE_EQ(state().vehicleTrackDistance, 206.5);
  EXPECT_DOUBLE_EQ(block().state.vehicleDistance, 106.5);
}

TEST_F(TelemetryCycleTest, BadNumbersNeverReachTheOdometerOrTheClocks) {
  Odometer& odometer = plugin.odometer();
  odometer.vehicleTotal = 10.0;
  odometer.trackTotal = 20.0;
  ScoringBuilder scoring;
  addPlayer(scoring, 1);
  send(scoring);

  struct Case {
    double delta;
    double vx;
    double px;
  } cases[] = {{-0.1, 10.0, 0.0}, {kNaN, 10.0, 0.0},  {kInf, 10.0, 0.0},   {0.1, kNaN, 0.0},
               {0.1, kInf, 0.0},  {0.1, -kInf, kNaN}, {1e300, 1e300, kInf}};
  for (const Case& c : cases) {
    HostTelemetry t = makeTelemetry();
    t.deltaTime = c.delta;
    t.localVelocity[0] = c.vx;
    t.position[0] = c.px;
    float before = state().timeSinceScoring;
    send(t);
    EXPECT_EQ(odometer.vehicleTotal, 10.0) << c.delta << " " << c.vx;
    EXPECT_EQ(odometer.trackTotal, 20.0) << c.delta << " " << c.vx;
    EXPECT_FALSE(std::isnan(state().timeSinceScoring)) << c.delta;
    if (!std::isfinite(c.delta) || c.delta < 0.0) {
      EXPECT_EQ(state().timeSinceScoring, before) << c.delta;
    }
  }
}

TEST_F(TelemetryCycleTest, TimeSinceScoringAddsEachStepAndRestartsWithScoring) {
  ScoringBuilder scoring;
  addPlayer(scoring, 1);
  send(scoring);
  EXPECT_EQ(state().timeSinceScoring, 0.0f);

  HostTelemetry t = makeTelemetry();
  t.deltaTime = 0.25;
  for (int i = 0; i < 3; ++i) send(t);
  EXPECT_EQ(state().timeSinceScoring, 0.75f);
  EXPECT_EQ(block().state.timeSinceScoring, 0.75f);

  send(scoring);
  EXPECT_EQ(state().timeSinceScoring, 0.0f);
  send(t);
  EXPECT_EQ(state().timeSinceScoring, 0.25f);
}

TEST_F(TelemetryCycleTest, KeepsAVehicleNameWithoutTerminatorTo63Characters) {
  HostTelemetry t = makeTelemetry();
  std::memset(t.vehicleName, 'Q', sizeof t.vehicleName);
  std::memset(t.passthrough96, 'R', sizeof t.passthrough96);  // must not leak in
  send(t);
  EXPECT_EQ(std::strlen(plugin.currentVehicleName()), 63u);
  EXPECT_EQ(std::string(plugin.currentVehicleName()), std::string(63, 'Q'));

  t = makeTelemetry("Short Car");
  send(t);
  EXPECT_STREQ(plugin.currentVehicleName(), "Short Car");
}

class OdometerCommandTest : public TelemetryCycleTest {
 protected:
  // One update with a step of 1 and `command` left in the block.
  void runWith(uint8_t command) {
    block().state.distanceResetCommand = command;
    HostTelemetry t = makeTelemetry();
    t.localVelocity[2] = 10.0;
    t.deltaTime = 0.1;
    send(t);
  }
  void setTotals(double vehicle, double track) {
    plugin.odometer().vehicleTotal = vehicle;
    plugin.odometer().trackTotal = track;
  }
};

TEST_F(OdometerCommandTest, TwoResetsTheVehicleTotalOnceAndIsCleared) {
  setTotals(500.0, 700.0);
  runWith(2);
  EXPECT_DOUBLE_EQ(plugin.odometer().vehicleTotal, 1.0);
  EXPECT_DOUBLE_EQ(plugin.odometer().trackTotal, 701.0);
  EXPECT_DOUBLE_EQ(state().vehicleDistance, 1.0);
  EXPECT_EQ(state().distanceResetCommand, 0);
  EXPECT_EQ(block().state.distanceResetCommand, 0);

  // The cleared byte does not bring the reset back: counting goes on.
  runWith(0);
  EXPECT_DOUBLE_EQ(plugin.odometer().vehicleTotal, 2.0);
  EXPECT_DOUBLE_EQ(plugin.odometer().trackTotal, 702.0);
}

TEST_F(OdometerCommandTest, ThreeResetsTheTrackTotalOnceAndIsCleared) {
  setTotals(500.0, 700.0);
  runWith(3);
  EXPECT_DOUBLE_EQ(plugin.odometer().vehicleTotal, 501.0);
  EXPECT_DOUBLE_EQ(plugin.odometer().trackTotal, 1.0);
  EXPECT_DOUBLE_EQ(block().state.vehicleTrackDistance, 1.0);
  EXPECT_EQ(state().distanceResetCommand, 0);
  EXPECT_EQ(block().state.distanceResetCommand, 0);
}

TEST_F(OdometerCommandTest, OtherValuesDoNothingAndStayInPlace) {
  for (uint8_t command : {1, 4, 255}) {
    setTotals(500.0, 700.0);
    runWith(command);
    EXPECT_DOUBLE_EQ(plugin.odometer().vehicleTotal, 501.0) << int(command);
    EXPECT_DOUBLE_EQ(plugin.odometer().trackTotal, 701.0) << int(command);
    EXPECT_EQ(state().distanceResetCommand, command);
    EXPECT_EQ(block().state.distanceResetCommand, command);
  }
}

class DeadReckoningTest : public TelemetryCycleTest {};

TEST_F(DeadReckoningTest, MovesOtherCarsInTheHorizontalPlaneAlongTheirHeading) {
  ScoringBuilder scoring;
  HostVehicle& player = addPlayer(scoring, 2);
  player.position[0] = 1.0;
  player.position[1] = 2.0;
  player.position[2] = 3.0;
  player.localVelocity[2] = 40.0;
  HostVehicle& car = scoring.addVehicle("Rotated", 1);
  const double p[3] = {1234.5, 17.25, -987.75};
  const double v[3] = {1.5, 0.75, 42.0};
  const double a[3] = {0.4, -9.0, -6.5};
  std::memcpy(car.position, p, sizeof p);
  std::memcpy(car.localVelocity, v, sizeof v);
  std::memcpy(car.localAcceleration, a, sizeof a);
  setYaw(car, 0.6);
  send(scoring);
  ASSERT_EQ(publishedScoring().playerIndex, 1);

  clock.advance(375);
  HostTelemetry t = makeTelemetry();
  t.position[0] = 11.125;
  t.position[1] = -0.5;
  t.position[2] = 99.75;
  send(t);

  const VehicleInfoV2& moved = publishedScoring().vehicles[0];
  const double t375 = 0.375;
  double r0[3], r2[3];
  orientationRow(moved, 0, r0);
  orientationRow(moved, 2, r2);
  double x = p[0] + dot(r0, v) * t375 + 0.5 * dot(r0, a) * t375 * t375;
  double z = p[2] + dot(r2, v) * t375 + 0.5 * dot(r2, a) * t375 * t375;
  // Velocity and acceleration are rounded to float, each product and the
  // result once more: a few float steps of the magnitudes involved.
  auto tolerance = [&](const double* row, double pos) {
    return 4.0 * FLT_EPSILON *
           (std::fabs(pos) + std::fabs(dot(row, v)) * t375 + std::fabs(dot(row, a)) * t375 * t375);
  };
  EXPECT_NEAR(estimated(0, 0), x, tolerance(r0, p[0]));
  EXPECT_NEAR(estimated(0, 2), z, tolerance(r2, p[2]));
  // Stored as floats, widened.
  EXPECT_EQ(estimated(0, 0), static_cast<float>(estimated(0, 0)));
  EXPECT_EQ(estimated(0, 2), static_cast<float>(estimated(0, 2)));
  EXPECT_EQ(estimated(0, 1), p[1]);

  const VehicleInfoV2& mine = publishedScoring().vehicles[1];
  EXPECT_EQ(std::memcmp(mine.estimatedPosition, t.position, sizeof t.position), 0);

  // The moved positions reach the shared block's scoring copy.
  EXPECT_EQ(std::memcmp(&block().scoring, &publishedScoring(), sizeof(ScoringInfoV2)), 0);
}

TEST_F(DeadReckoningTest, OnlyTheFirstHundredEntriesMove) {
  ScoringBuilder scoring;
  for (int i = 0; i < 120; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Driver %d", i);
    HostVehicle& v = (i == 40) ? addPlayer(scoring, 41) : scoring.addVehicle(name, i + 1);
    v.position[0] = 10.0 * i;
    v.position[1] = 1.0;
    v.position[2] = -5.0 * i;
    v.localVelocity[0] = 2.0;
    v.localVelocity[2] = 30.0;
  }
  send(scoring);
  ASSERT_EQ(publishedScoring().vehicleCount, 120);
  ASSERT_EQ(publishedScoring().playerIndex, 40);

  clock.advance(1000);
  HostTelemetry t = makeTelemetry();
  t.position[0] = 7.0;
  send(t);

  const ScoringInfoV2& s = publishedScoring();
  for (int i = 0; i < 100; ++i) {
    if (i == 40) continue;
    EXPECT_DOUBLE_EQ(estimated(i, 0), 10.0 * i + 2.0) << i;
    EXPECT_DOUBLE_EQ(estimated(i, 2), -5.0 * i + 30.0) << i;
  }
  EXPECT_EQ(estimated(40, 0), 7.0);
  for (int i = 100; i < 120; ++i) {
    EXPECT_EQ(std::memcmp(s.vehicles[i].estimatedPosition, s.vehicles[i].host.position,
                          sizeof s.vehicles[i].estimatedPosition),
              0)
        << i;
  }
}

TEST_F(DeadReckoningTest, PlayerIndexOutsideTheBlockIsNeverUsed) {
  ScoringBuilder scoring;
  addPlayer(scoring, 1).inPits = 1;
  scoring.addVehicle("Other", 2).position[0] = 5.0;
  send(scoring);

  HostTelemetry t = makeTelemetry();
  t.position[0] = 99.0;
  send(t);  // the first lap change is used up here
  for (int32_t index :
       {150, 5000, std::numeric_limits<int32_t>::max(), -2, std::numeric_limits<int32_t>::min()}) {
    publishedScoring().playerIndex = index;
    setKers(1, 0, 1.0f);
    send(t);
    // No entry is the player's: nothing takes the telemetry position, and no
    // pit flag reloads the timer.
    EXPECT_EQ(estimated(0, 0), 0.0) << index;
    EXPECT_EQ(estimated(1, 0), 5.0) << index;
    EXPECT_EQ(state().kersRemaining, 1.0f) << index;
  }
  publishedScoring().playerIndex = 0;  // the same update with a real player
  send(t);
  EXPECT_EQ(estimated(0, 0), 99.0);
  EXPECT_EQ(state().kersRemaining, 4.5f);
}

TEST_F(DeadReckoningTest, CountsFromConstructionBeforeAnyScoringUpdate) {
  ScoringBuilder scoring;
  addPlayer(scoring, 2);
  HostVehicle& car = scoring.addVehicle("Mover", 1);
  car.localVelocity[0] = 4.0;
  send(scoring);

  clock.advance(60000);
  RenderPlugin fresh;  // a new object: its clock starts now, not at that update
  clock.advance(500);
  HostTelemetry t = makeTelemetry();
  fresh.updateTelemetry(&t);
  EXPECT_DOUBLE_EQ(estimated(0, 0), 2.0);
}

TEST_F(DeadReckoningTest, NaNMotionSpoilsOnlyItsOwnEntry) {
  ScoringBuilder scoring;
  addPlayer(scoring, 3);
  HostVehicle& bad = scoring.addVehicle("Bad", 1);
  bad.localVelocity[0] = kNaN;
  bad.position[2] = kInf;
  HostVehicle& good = scoring.addVehicle("Good", 2);
  good.localVelocity[0] = 1.0;
  send(scoring);
  clock.advance(1000);
  HostTelemetry t = makeTelemetry();
  t.position[1] = kNaN;
  send(t);
  EXPECT_TRUE(std::isnan(estimated(0, 0)));
  EXPECT_DOUBLE_EQ(estimated(1, 0), 1.0);
  EXPECT_TRUE(std::isnan(estimated(2, 1)));
}

// A reader in the host's process that holds the lock too long: the update
// gives up after 500 ms of ticks, runs all the same, and leaves the lock to
// its holder.
TEST_F(TelemetryCycleTest, RunsWithoutTheLockWhenAReaderHoldsItTooLong) {
  std::atomic<int> stage{0};
  std::thread reader([&] {
    platform::lockEnter(dataLock());
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    // Time moves on until the update has given up, however late it began.
    while (stage != 3) {
      clock.advance(50);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    platform::lockLeave(dataLock());
  });
  while (stage != 1) std::this_thread::yield();
  stage = 2;
  HostTelemetry t = makeTelemetry();
  t.lapNumber = 77;
  send(t);
  EXPECT_EQ(block().telemetry.telemetry.lapNumber, 77);
  EXPECT_FALSE(platform::lockTryEnter(dataLock()));  // still the reader's
  stage = 3;
  reader.join();
  ASSERT_TRUE(platform::lockTryEnter(dataLock()));
  platform::lockLeave(dataLock());
}

TEST_F(TelemetryCycleTest, WithoutABlockTheInProcessCopiesStillUpdate) {
  HostTelemetry t = makeTelemetry();
  t.localVelocity[0] = 10.0;
  t.deltaTime = 1.0;
  t.lapNumber = 5;
  {
    platform::failNextSharedBlockForTesting(platform::MapResult::kCreateFailed, 5);
    RenderPlugin blockless;
    ASSERT_EQ(sharedBlock(), nullptr);
    hostState().distanceResetCommand = 2;
    blockless.odometer().vehicleTotal = 40.0;
    blockless.updateTelemetry(&t);
    EXPECT_EQ(publishedTelemetry().telemetry.lapNumber, 5);
    EXPECT_DOUBLE_EQ(blockless.odometer().vehicleTotal, 50.0);
    EXPECT_DOUBLE_EQ(hostState().vehicleDistance, 50.0);
    EXPECT_EQ(hostState().distanceResetCommand, 2);  // no block, no commands
  }
}

}  // namespace
}  // namespace korvanel

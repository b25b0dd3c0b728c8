// The pace estimator driven as the host drives it: a telemetry record with
// the fuel level and lap number, then a scoring record with the player's lap
// distance, pit flag and last lap time.
#include "telemetry/pace_estimator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::FakeClock;
using testing::makeTelemetry;
using testing::ScoringBuilder;
using testing::ScratchFolder;

static_assert(sizeof(PaceEstimator) == 48, "twelve 32-bit values and nothing else");

struct Sample {
  int32_t lap = 1;
  double fuel = 50.0;
  double distance = 0.0;
  bool inPits = false;
  double lastLapTime = -1.0;
  int32_t session = 1;
  uint8_t phase = 5;
  double lapLength = 5000.0;
  bool player = true;
};

class PaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin.startup(0);
    plugin.startSession();  // clears the estimator
  }

  void drive(const Sample& s) {
    HostTelemetry t = makeTelemetry();
    t.lapNumber = s.lap;
    t.fuelLevel = s.fuel;
    plugin.updateTelemetry(&t);

    ScoringBuilder scoring;
    scoring.header().session = s.session;
    scoring.header().phase = s.phase;
    scoring.header().lapLength = s.lapLength;
    scoring.addVehicle("Leader", 1);
    HostVehicle& me = scoring.addVehicle("Me", 2);
    if (s.player) {
      me.isPlayer = 1;
      me.control = 0;
    }
    me.lapDistance = s.distance;
    me.inPits = s.inPits ? 1 : 0;
    me.lastLapTime = s.lastLapTime;
    plugin.updateScoring(scoring.record());
  }

  // A baseline at (distance, fuel) on `lap`, with the lap counted already.
  void baseline(int32_t lap, double fuel, double distance) {
    Sample s;
    s.lap = lap;
    s.fuel = fuel;
    s.distance = distance;
    drive(s);
    ASSERT_EQ(pace().lastLapDistance, static_cast<float>(distance));
    ASSERT_EQ(pace().lastFuel, static_cast<float>(fuel));
  }

  // Sums of 3000 and 1.5 from one sample, ending at 30 units of fuel.
  void sampleOf3000(double lapLength) {
    baseline(1, 31.5, 500.0);
    Sample s;
    s.lap = 1;
    s.fuel = 30.0;
    s.distance = 3500.0;
    s.lapLength = lapLength;
    drive(s);
    ASSERT_EQ(pace().sumDistance, 3000.0f);
    ASSERT_EQ(pace().sumFuel, 1.5f);
  }

  PaceEstimator& pace() { return plugin.paceEstimator(); }

  ScratchFolder folder;
  FakeClock clock;
  RenderPlugin plugin;
};

TEST_F(PaceTest, TwoShortStepsMakeOneSample) {
  baseline(1, 50.0, 1000.0);
  Sample s;
  s.fuel = 49.95;
  s.distance = 1060.0;
  drive(s);
  EXPECT_EQ(pace().sumDistance, 0.0f);
  EXPECT_EQ(pace().lastLapDistance, 1000.0f);  // the baseline stays
  EXPECT_EQ(pace().lastFuel, 50.0f);

  s.fuel = 49.9;
  s.distance = 1120.0;
  drive(s);
  EXPECT_EQ(pace().sumDistance, 120.0f);
  EXPECT_EQ(pace().sumFuel, 50.0f - 49.9f);
  EXPECT_NEAR(pace().distancePerFuel, 1200.0f, 0.05f);
  EXPECT_NEAR(pace().fuelPerLap, 5000.0f / 1200.0f, 1e-4f);
  EXPECT_NEAR(pace().lapsOfFuelLeft, 1200.0f * 49.9f / 5000.0f, 1e-3f);
  EXPECT_EQ(pace().lastLapDistance, 1120.0f);
  EXPECT_EQ(pace().lastFuel, 49.9f);
}

TEST_F(PaceTest, FiguresFromTheSumsWithAGivenLapLength) {
  sampleOf3000(4000.0);
  EXPECT_EQ(pace().distancePerFuel, 2000.0f);
  EXPECT_EQ(pace().fuelPerLap, 2.0f);
  EXPECT_EQ(pace().lapsOfFuelLeft, 15.0f);
}

TEST_F(PaceTest, FiguresFromTheSumsWithoutALapLength) {
  sampleOf3000(0.0);
  EXPECT_EQ(pace().distancePerFuel, 2000.0f);
  EXPECT_EQ(pace().fuelPerLap, 2.5f);
  EXPECT_EQ(pace().lapsOfFuelLeft, 12.0f);
}

TEST_F(PaceTest, LapFuelNeedsTheLapBeforeAndASingleStep) {
  Sample s;
  s.lap = 1;
  s.fuel = 50.0;
  s.distance = 1000.0;
  drive(s);
  // The first lap after a reset has no start fuel: no figure.
  EXPECT_EQ(pace().lapFuelUsed, -50.0f);
  EXPECT_EQ(pace().lastLapFuel, 0.0f);
  EXPECT_EQ(pace().lapStartFuel, 50.0f);

  s.lap = 2;
  s.fuel = 45.0;
  s.distance = 200.0;
  s.lastLapTime = 100.0;
  drive(s);
  EXPECT_EQ(pace().lapFuelUsed, 5.0f);
  EXPECT_EQ(pace().lastLapFuel, 5.0f);
  EXPECT_EQ(pace().lapStartFuel, 45.0f);
  // Taken before this update's lap figure: still the one before it.
  EXPECT_EQ(pace().fuelPerSecond, 0.0f);

  s.lap = 4;  // two laps at once
  s.fuel = 38.0;
  s.distance = 300.0;  // exactly 100 on: still too short for a sample
  drive(s);
  EXPECT_EQ(pace().lapFuelUsed, 5.0f);
  EXPECT_EQ(pace().lapStartFuel, 45.0f);
  EXPECT_FLOAT_EQ(pace().fuelPerSecond, 0.05f);
  EXPECT_EQ(pace().sumDistance, 0.0f);
  EXPECT_EQ(pace().lastLapDistance, 200.0f);

  s.lap = 5;
  s.fuel = 36.0;
  s.distance = 150.0;
  drive(s);
  EXPECT_EQ(pace().lapFuelUsed, 9.0f);
  EXPECT_EQ(pace().lastLapFuel, 9.0f);
  EXPECT_EQ(pace().lastLap, 5);
}

TEST_F(PaceTest, AStandingCarOnlyRenewsTheRatePerSecond) {
  Sample s;
  s.lap = 1;
  s.fuel = 50.0;
  s.distance = 1000.0;
  drive(s);
  s.lap = 2;
  s.fuel = 45.0;
  s.distance = 200.0;
  drive(s);
  ASSERT_EQ(pace().lastLapFuel, 5.0f);
  PaceEstimator before = pace();

  // Same distance: even a new lap number and less fuel are not looked at.
  s.lap = 3;
  s.fuel = 40.0;
  s.lastLapTime = 100.0;
  drive(s);
  PaceEstimator expected = before;
  expected.fuelPerSecond = 0.05f;
  EXPECT_EQ(std::memcmp(&expected, &pace(), sizeof expected), 0);
  EXPECT_EQ(pace().lastLap, 2);
}

TEST_F(PaceTest, CrossingTheLineTakesANewBaselineAndKeepsTheSums) {
  sampleOf3000(4000.0);
  Sample s;
  s.fuel = 29.0;
  s.distance = 40.0;  // over the line
  drive(s);
  EXPECT_EQ(pace().sumDistance, 3000.0f);
  EXPECT_EQ(pace().sumFuel, 1.5f);
  EXPECT_EQ(pace().lastLapDistance, 40.0f);
  EXPECT_EQ(pace().lastFuel, 29.0f);
  EXPECT_EQ(pace().lapsOfFuelLeft, 15.0f);
}

TEST_F(PaceTest, RefuellingOutsideThePitsTakesANewBaselineAndKeepsTheSums) {
  sampleOf3000(4000.0);
  Sample s;
  s.fuel = 60.0;
  s.distance = 3700.0;
  drive(s);
  EXPECT_EQ(pace().sumDistance, 3000.0f);
  EXPECT_EQ(pace().sumFuel, 1.5f);
  EXPECT_EQ(pace().lastFuel, 60.0f);
  EXPECT_EQ(pace().lastLapDistance, 3700.0f);

  s.fuel = 59.5;
  s.distance = 4700.0;  // the next sample measures from the refill
  drive(s);
  EXPECT_EQ(pace().sumDistance, 4000.0f);
  EXPECT_EQ(pace().sumFuel, 2.0f);
}

TEST_F(PaceTest, PitsClearTheSumsButKeepTheOutputs) {
  sampleOf3000(4000.0);
  Sample s;
  s.inPits = true;
  s.lap = 7;
  s.fuel = 80.0;
  s.distance = 10.0;
  drive(s);
  EXPECT_EQ(pace().sumDistance, 0.0f);
  EXPECT_EQ(pace().sumFuel, 0.0f);
  EXPECT_EQ(pace().lapFuelUsed, 0.0f);
  EXPECT_EQ(pace().lapStartFuel, 80.0f);
  EXPECT_EQ(pace().lastLap, 7);
  EXPECT_EQ(pace().lastFuel, 80.0f);
  EXPECT_EQ(pace().lastLapDistance, 10.0f);
  EXPECT_EQ(pace().distancePerFuel, 2000.0f);
  EXPECT_EQ(pace().lapsOfFuelLeft, 15.0f);
}

TEST_F(PaceTest, RaceStartRestartsTheStintButNotOtherSessions) {
  sampleOf3000(4000.0);
  Sample s;
  s.session = 12;
  s.phase = 4;
  s.fuel = 30.0;
  s.distance = 3500.0;  // unmoved: only the restart happens
  drive(s);
  EXPECT_EQ(pace().sumDistance, 0.0f);
  EXPECT_EQ(pace().sumFuel, 0.0f);
  EXPECT_EQ(pace().lapStartFuel, 30.0f);

  sampleOf3000(4000.0);
  for (int32_t session : {9, 14}) {
    s.session = session;
    drive(s);
    EXPECT_EQ(pace().sumDistance, 3000.0f) << session;
  }
}

TEST_F(PaceTest, NoPlayerChangesNothing) {
  sampleOf3000(4000.0);
  PaceEstimator before = pace();
  Sample s;
  s.player = false;
  s.fuel = 10.0;
  s.distance = 4900.0;
  s.lap = 2;
  drive(s);
  EXPECT_EQ(std::memcmp(&before, &pace(), sizeof before), 0);
}

TEST_F(PaceTest, NonFiniteInputsMoveTheBaselineAndNeverReachTheSums) {
  sampleOf3000(4000.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, 1e300}) {
    Sample s;
    s.fuel = bad;
    s.distance = 3700.0;
    drive(s);
    s.fuel = 29.0;
    s.distance = bad;
    drive(s);
    EXPECT_EQ(pace().sumDistance, 3000.0f) << bad;
    EXPECT_EQ(pace().sumFuel, 1.5f) << bad;
    EXPECT_EQ(pace().distancePerFuel, 2000.0f) << bad;
  }
  // Good records afterwards count again from a fresh baseline.
  baseline(1, 28.0, 1000.0);
  Sample s;
  s.fuel = 27.5;
  s.distance = 2000.0;
  drive(s);
  EXPECT_EQ(pace().sumDistance, 4000.0f);
  EXPECT_EQ(pace().sumFuel, 2.0f);
}

TEST_F(PaceTest, FiguresReachTheBlockWithTheNextTelemetryUpdate) {
  ASSERT_NE(sharedBlock(), nullptr);
  sampleOf3000(4000.0);
  const TelemetryInfoV2& mine = publishedTelemetry();
  EXPECT_EQ(mine.lapsOfFuelLeft, 15.0f);
  EXPECT_EQ(mine.fuelPerLap, 2.0f);
  EXPECT_EQ(mine.distancePerFuel, 2000.0f);
  EXPECT_NE(sharedBlock()->telemetry.distancePerFuel, 2000.0f);

  HostTelemetry t = makeTelemetry();
  plugin.updateTelemetry(&t);
  const TelemetryInfoV2& theirs = sharedBlock()->telemetry;
  EXPECT_EQ(theirs.lapsOfFuelLeft, 15.0f);
  EXPECT_EQ(theirs.fuelPerLap, 2.0f);
  EXPECT_EQ(theirs.distancePerFuel, 2000.0f);
  EXPECT_EQ(theirs.lastLapFuel, mine.lastLapFuel);
  EXPECT_EQ(theirs.fuelPerSecond, mine.fuelPerSecond);
}

}  // namespace
}  // namespace korvanel

// The timing table driven with host scoring records, in the order the
// scoring cycle calls it: top speeds, the update, the second publication.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "scoring/scoring_info.h"
#include "tests/test_support.h"
#include "timing/entry_finder.h"
#include "timing/host_values.h"
#include "timing/time_table.h"

namespace korvanel {
namespace {

using testing::ScoringBuilder;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void setBest(HostVehicle& v, double s1, double s2, double lap) {
  v.bestSector1 = s1;
  v.bestSector2 = s2;
  v.bestLapTime = lap;
}

void setLast(HostVehicle& v, double s1, double s2, double lap) {
  v.lastSector1 = s1;
  v.lastSector2 = s2;
  v.lastLapTime = lap;
}

void setSpeed(HostVehicle& v, double speed) {
  // Spread over two axes so that the length, not one component, counts.
  v.localVelocity[0] = speed * 0.6;
  v.localVelocity[2] = speed * 0.8;
}

void makePlayer(HostVehicle& v) {
  v.isPlayer = 1;
  v.control = 0;
}

class TimeTableTest : public ::testing::Test {
 protected:
  void SetUp() override { resetTimeTable(t); }

  void cycle(ScoringBuilder& s, bool earlyPhase = false) {
    const HostScoring& record = *s.record();
    finder.rebuild(t);
    trackTopSpeeds(record);
    republishFastestLap(t, earlyPhase, updateTimeTable(t, record, finder));
  }
  // One pass alone, after a rebuild, as a caller that may have written
  // names since must.
  void update(const HostScoring& record) {
    finder.rebuild(t);
    updateTimeTable(t, record, finder);
  }
  void track(const HostScoring& record) {
    finder.rebuild(t);
    trackTopSpeeds(record);
  }
  void trackTopSpeeds(const HostScoring& record) {
    for (int i = 0; i < hostVehicleCount(record); ++i) {
      trackTopSpeed(t, i, record.vehicles[i], finder);
    }
  }
  const TimeTableEntry& entry(int k) const { return t.entries[k]; }
  const TimeTable& tail() const { return t; }

  void expectNoFastestLap() const {
    EXPECT_EQ(tail().fastestLapTime, -1.0f);
    EXPECT_EQ(tail().fastestLapSector1, -1.0f);
    EXPECT_EQ(tail().fastestLapSector2, -1.0f);
    EXPECT_STREQ(tail().fastestLapDriver, "");
  }
  void expectFastestLap(const char* driver, float lap, float s1, float s2) const {
    EXPECT_STREQ(tail().fastestLapDriver, driver);
    EXPECT_EQ(tail().fastestLapTime, lap);
    EXPECT_EQ(tail().fastestLapSector1, s1);
    EXPECT_EQ(tail().fastestLapSector2, s2);
  }

  std::unique_ptr<TimeTable> owned = std::make_unique<TimeTable>();
  TimeTable& t = *owned;
  std::unique_ptr<CarSlots> slots = std::make_unique<CarSlots>();
  std::unique_ptr<EntryFinder> ownedFinder = std::make_unique<EntryFinder>(*slots);
  EntryFinder& finder = *ownedFinder;
};

TEST_F(TimeTableTest, ANewEntryTakesTheFasterOfBestAndLastLap) {
  ScoringBuilder s;
  s.header().session = 5;
  HostVehicle& ann = s.addVehicle("Ann", 2);
  setBest(ann, 30.0, 60.0, 90.0);
  setLast(ann, 30.5, 61.0, 91.5);
  HostVehicle& bob = s.addVehicle("Bob", 1);
  setBest(bob, 31.0, 62.0, 92.0);
  setLast(bob, 30.8, 61.2, 91.0);
  HostVehicle& cid = s.addVehicle("Cid", 3);
  setLast(cid, 31.0, -1.0, 93.0);  // a lap without a second-sector time
  s.addVehicle("Dan", 4);
  cycle(s);

  EXPECT_STREQ(entry(0).driverName, "Ann");
  EXPECT_STREQ(entry(0).vehicleName, "Ann");
  EXPECT_STREQ(entry(0).vehicleClass, "GT3");
  EXPECT_EQ(entry(0).vehicleIndex, 0);
  EXPECT_EQ(entry(0).place, 2);
  EXPECT_EQ(entry(0).inUse, 1);
  EXPECT_EQ(entry(0).seenThisUpdate, 1);
  EXPECT_EQ(entry(0).bestLapTime, 90.0f);
  EXPECT_EQ(entry(0).bestSector1, 30.0f);
  EXPECT_EQ(entry(0).bestSector2, 60.0f);
  EXPECT_EQ(entry(1).bestLapTime, 91.0f);
  EXPECT_EQ(entry(1).bestSector1, 30.8f);
  EXPECT_EQ(entry(1).bestSector2, 61.2f);
  EXPECT_EQ(entry(2).bestLapTime, 93.0f);
  EXPECT_EQ(entry(2).bestSector2, -1.0f);
  EXPECT_EQ(entry(3).bestLapTime, -1.0f);
  EXPECT_EQ(entry(4).inUse, 0);

  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 90.0f);
  setLast(ann, 29.9, 59.7, 89.8);
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 89.8f);
  EXPECT_EQ(entry(0).bestSector1, 29.9f);
  EXPECT_EQ(entry(0).bestSector2, 59.7f);
  expectFastestLap("Ann", 89.8f, 29.9f, 59.7f);
}

TEST_F(TimeTableTest, AMatchedEntryLooksAtTheBestLapOnlyWithoutAValidLastLap) {
  ScoringBuilder s;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, -1.0f);

  setBest(ann, 29.0, 58.0, 88.0);
  setLast(ann, 30.0, 60.0, 0.0);
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 88.0f);
  EXPECT_EQ(entry(0).bestSector1, 29.0f);

  setBest(ann, 28.5, 57.5, 87.5);
  ann.lastLapTime = -1.0;
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 87.5f);

  // With a valid last lap the host's best is not looked at, even when faster.
  setBest(ann, 28.0, 56.0, 86.0);
  setLast(ann, 30.0, 60.0, 89.0);
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 87.5f);
  EXPECT_EQ(entry(0).bestSector1, 28.5f);
}

TEST_F(TimeTableTest, LapTimesAreComparedAsTheHostsDoubleAgainstTheWidenedFloat) {
  // 89.8 as a float is a little more than 89.8, so the same lap from the host
  // counts as a new best, which outside sessions 10 to 13 hands the stint's
  // top speed to topSpeed.
  ScoringBuilder s;
  s.header().session = 5;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  setLast(ann, 30.0, 60.0, 89.8);
  setSpeed(ann, 80.0);
  cycle(s);
  ASSERT_GT(static_cast<double>(89.8f), 89.8);
  EXPECT_EQ(entry(0).stintTopSpeed, 80.0f);
  EXPECT_EQ(entry(0).topSpeed, 0.0f);

  setSpeed(ann, 40.0);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 80.0f);

  // A lap that narrows to the stored float but is longer as a double is not.
  setSpeed(ann, 40.0);
  t.entries[0].topSpeed = 10.0f;
  ann.lastLapTime = static_cast<double>(89.8f) + 1e-6;
  ASSERT_EQ(static_cast<float>(ann.lastLapTime), 89.8f);
  update(*s.record());
  EXPECT_EQ(entry(0).topSpeed, 10.0f);
}

TEST_F(TimeTableTest, TheTailNamesTheFastestQualifyingLapOfEachUpdate) {
  ScoringBuilder s;
  setBest(s.addVehicle("Ann", 1), 29.0, 58.0, 88.0);
  setBest(s.addVehicle("Bob", 2), 30.0, 60.0, 90.0);
  setBest(s.addVehicle("Cid", 3), 30.5, 61.0, 91.0);
  cycle(s);
  expectFastestLap("Ann", 88.0f, 29.0f, 58.0f);

  // Ann leaves: the next fastest present driver takes the tail at once.
  ScoringBuilder without;
  setBest(without.addVehicle("Cid", 2), 30.5, 61.0, 91.0);
  setBest(without.addVehicle("Bob", 1), 30.0, 60.0, 90.0);
  cycle(without);
  expectFastestLap("Bob", 90.0f, 30.0f, 60.0f);
  EXPECT_EQ(entry(0).seenThisUpdate, 0);
  EXPECT_EQ(entry(0).inUse, 1);
  EXPECT_EQ(entry(0).bestLapTime, 88.0f);

  // She returns elsewhere in the array, in other letter case, with no times
  // of her own: the old entry and its best lap count again.
  ScoringBuilder back;
  setBest(back.addVehicle("Bob", 1), 30.0, 60.0, 90.0);
  back.addVehicle("ANN", 2, "gt3", "ann");
  cycle(back);
  EXPECT_EQ(entry(0).vehicleIndex, 1);
  EXPECT_EQ(entry(3).inUse, 0);
  expectFastestLap("Ann", 88.0f, 29.0f, 58.0f);
}

TEST_F(TimeTableTest, TiesGoToTheLowerEntryWhateverTheArrayOrder) {
  ScoringBuilder s;
  setBest(s.addVehicle("Ann", 1), 30.0, 60.0, 90.0);
  setBest(s.addVehicle("Bob", 2), 29.0, 61.0, 90.0);
  cycle(s);
  expectFastestLap("Ann", 90.0f, 30.0f, 60.0f);

  ScoringBuilder swapped;
  setBest(swapped.addVehicle("Bob", 1), 29.0, 61.0, 90.0);
  setBest(swapped.addVehicle("Ann", 2), 30.0, 60.0, 90.0);
  cycle(swapped);
  expectFastestLap("Ann", 90.0f, 30.0f, 60.0f);
}

TEST_F(TimeTableTest, AStatusOfThreeOrMoreNeverHoldsTheFastestLap) {
  ScoringBuilder s;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  setBest(ann, 20.0, 40.0, 60.0);
  ann.vehicleStatus = 3;
  HostVehicle& bob = s.addVehicle("Bob", 2);
  setBest(bob, 30.0, 60.0, 90.0);
  bob.vehicleStatus = 2;
  cycle(s);
  EXPECT_EQ(entry(0).vehicleStatus, 3);
  expectFastestLap("Bob", 90.0f, 30.0f, 60.0f);

  ann.vehicleStatus = 100;
  cycle(s);
  expectFastestLap("Bob", 90.0f, 30.0f, 60.0f);

  // The byte is signed: -1 is below 3.
  ann.vehicleStatus = -1;
  cycle(s);
  expectFastestLap("Ann", 60.0f, 20.0f, 40.0f);

  ann.vehicleStatus = 3;
  bob.vehicleStatus = 5;
  cycle(s);
  expectNoFastestLap();
}

TEST_F(TimeTableTest, AnEmptyUpdateEmptiesTheTailButKeepsThePlayersBest) {
  ScoringBuilder s;
  HostVehicle& me = s.addVehicle("Me", 1);
  makePlayer(me);
  me.sector = 1;
  setLast(me, 30.0, 60.0, 90.0);
  cycle(s);
  expectFastestLap("Me", 90.0f, 30.0f, 60.0f);
  EXPECT_EQ(tail().playerBestLapTime, 90.0f);

  ScoringBuilder empty;
  cycle(empty);
  expectNoFastestLap();
  EXPECT_EQ(entry(0).seenThisUpdate, 0);
  EXPECT_EQ(tail().playerBestLapTime, 90.0f);
  EXPECT_EQ(tail().playerBestSector2, 60.0f);
}

TEST_F(TimeTableTest, TheSecondStepClearsTheEarlyFlagOnlyWhenItRepublishesOutsideTheEarlyPhase) {
  ScoringBuilder s;
  setBest(s.addVehicle("Ann", 1), 30.0, 60.0, 90.0);
  t.earlyTimesSeen = 1;
  // First publication happens in step A; step B has nothing to do.
  cycle(s, false);
  expectFastestLap("Ann", 90.0f, 30.0f, 60.0f);
  EXPECT_EQ(tail().earlyTimesSeen, 1);

  // The same lap again: step A clears, step B publishes.
  cycle(s, true);
  expectFastestLap("Ann", 90.0f, 30.0f, 60.0f);
  EXPECT_EQ(tail().earlyTimesSeen, 1);
  cycle(s, false);
  expectFastestLap("Ann", 90.0f, 30.0f, 60.0f);
  EXPECT_EQ(tail().earlyTimesSeen, 0);
}

TEST_F(TimeTableTest, NamesMatchWholeAndIgnoringAsciiCaseOnly) {
  ScoringBuilder s;
  setBest(s.addVehicle("Ann", 1, "GT3", "Coupe"), 30.0, 60.0, 90.0);
  cycle(s);

  ScoringBuilder other;
  setBest(other.addVehicle("ANN", 1, "gt3", "COUPE"), 29.0, 59.0, 89.0);
  other.addVehicle("Anna", 2, "GT3", "Coupe");
  other.addVehicle("Ann\xC4", 3, "GT3", "Coupe");
  other.addVehicle("ANN\xE4", 4, "GT3", "Coupe");
  other.addVehicle("Ann", 5, "GT3", "Coupe 2");
  cycle(other);
  EXPECT_STREQ(entry(0).driverName, "Ann");  // names are not rewritten
  EXPECT_EQ(entry(0).bestLapTime, 89.0f);
  EXPECT_STREQ(entry(1).driverName, "Anna");
  EXPECT_STREQ(entry(2).driverName, "Ann\xC4");
  EXPECT_STREQ(entry(3).driverName, "ANN\xE4");
  EXPECT_STREQ(entry(4).vehicleName, "Coupe 2");
  EXPECT_EQ(entry(5).inUse, 0);
}

TEST_F(TimeTableTest, TwoVehiclesWithTheSameNamesShareOneEntryInOneUpdate) {
  ScoringBuilder s;
  s.header().session = 11;
  HostVehicle& first = s.addVehicle("Ann", 3);
  setSpeed(first, 70.0);
  setBest(first, 30.0, 61.0, 91.0);
  first.vehicleStatus = 2;
  HostVehicle& second = s.addVehicle("ANN", 5, "gt3", "ANN");
  setSpeed(second, 80.0);
  setLast(second, 29.0, 59.0, 90.0);
  second.vehicleStatus = 1;
  makePlayer(second);
  cycle(s);

  EXPECT_EQ(entry(1).inUse, 0);
  EXPECT_EQ(entry(0).vehicleIndex, 1);
  EXPECT_EQ(entry(0).place, 5);
  EXPECT_EQ(entry(0).isPlayerVehicle, 1);
  EXPECT_EQ(entry(0).vehicleStatus, 1);
  EXPECT_EQ(entry(0).bestLapTime, 90.0f);
  EXPECT_EQ(entry(0).topSpeed, 80.0f);
  EXPECT_EQ(entry(0).stintTopSpeed, 70.0f);
}

TEST_F(TimeTableTest, AVehicleWithoutNamesTakesTheFirstFreeEntryByTheMatchedRules) {
  ScoringBuilder s;
  s.header().session = 5;
  s.addVehicle("Ann", 1);
  cycle(s);

  ScoringBuilder nameless;
  nameless.header().session = 5;
  HostVehicle& v = nameless.addVehicle("", 2, "", "");
  setBest(v, 30.0, 60.0, 90.0);
  setLast(v, 30.5, 61.0, 91.5);  // a new entry would take 90.0
  setSpeed(v, 50.0);
  nameless.addVehicle("Bob", 3);
  cycle(nameless);
  EXPECT_EQ(entry(1).inUse, 1);
  EXPECT_STREQ(entry(1).driverName, "");
  EXPECT_EQ(entry(1).bestLapTime, 91.5f);
  EXPECT_EQ(entry(1).topSpeed, 50.0f);
  EXPECT_STREQ(entry(2).driverName, "Bob");
}

TEST_F(TimeTableTest, InTimingSessionsTopSpeedIsTheHighestSeenAndTheStintOnlyResets) {
  ScoringBuilder s;
  s.header().session = 11;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  setSpeed(ann, 50.0);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 0.0f);
  EXPECT_EQ(entry(0).stintTopSpeed, 50.0f);

  setSpeed(ann, 60.0);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 60.0f);
  EXPECT_EQ(entry(0).stintTopSpeed, 50.0f);

  setSpeed(ann, 55.0);
  setLast(ann, 30.0, 60.0, 90.0);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 60.0f);

  setSpeed(ann, 40.0);
  ann.inPits = 1;
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 60.0f);
  EXPECT_EQ(entry(0).stintTopSpeed, 0.0f);
}

TEST_F(TimeTableTest, OutsideTimingSessionsANewBestLapTakesTheStintsTopSpeed) {
  ScoringBuilder s;
  s.header().session = 5;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  auto step = [&](double speed, bool inPits) {
    setSpeed(ann, speed);
    ann.inPits = inPits ? 1 : 0;
    cycle(s);
  };
  step(50.0, false);
  EXPECT_EQ(entry(0).topSpeed, 0.0f);
  step(70.0, false);
  EXPECT_EQ(entry(0).topSpeed, 70.0f);  // raised by the top-speed pass
  EXPECT_EQ(entry(0).stintTopSpeed, 70.0f);
  step(20.0, true);
  EXPECT_EQ(entry(0).stintTopSpeed, 20.0f);  // restarted, then raised
  step(60.0, false);
  EXPECT_EQ(entry(0).stintTopSpeed, 60.0f);

  setLast(ann, 30.0, 60.0, 90.0);
  step(55.0, false);
  EXPECT_EQ(entry(0).bestLapTime, 90.0f);
  EXPECT_EQ(entry(0).topSpeed, 60.0f);  // the stint's, below the earlier 70
  step(65.0, false);
  EXPECT_EQ(entry(0).topSpeed, 65.0f);
  step(30.0, true);
  EXPECT_EQ(entry(0).topSpeed, 65.0f);
  setLast(ann, 30.0, 60.0, 89.0);
  step(45.0, false);
  EXPECT_EQ(entry(0).topSpeed, 45.0f);
}

TEST_F(TimeTableTest, TheHundredAndFiftyFirstDriverIsLeftOut) {
  ScoringBuilder s;
  s.header().session = 11;
  for (int i = 0; i < 150; ++i) {
    std::string name = "Driver " + std::to_string(i);
    HostVehicle& v = s.addVehicle(name.c_str(), static_cast<uint8_t>(i + 2));
    setBest(v, 40.0, 80.0, 120.0 + i);
    setSpeed(v, 50.0);
  }
  HostVehicle& late = s.addVehicle("Latecomer", 1);
  setBest(late, 20.0, 40.0, 60.0);
  setSpeed(late, 99.0);
  makePlayer(late);
  late.sector = 1;
  setLast(late, 20.5, 41.0, 61.0);
  cycle(s);
  cycle(s);

  for (int k = 0; k < kTimeTableEntries; ++k) {
    ASSERT_EQ(entry(k).inUse, 1);
    ASSERT_EQ(entry(k).vehicleIndex, k);
  }
  for (const TimeTableEntry& e : t.entries) ASSERT_STRNE(e.driverName, "Latecomer");
  expectFastestLap("Driver 0", 120.0f, 40.0f, 80.0f);
  // The player's own sample does not need an entry.
  EXPECT_EQ(tail().playerBestLapTime, 61.0f);
}

TEST_F(TimeTableTest, ThePlayersBestIsSampledInTheFirstSectorOnly) {
  ScoringBuilder s;
  HostVehicle& me = s.addVehicle("Me", 1);
  makePlayer(me);
  HostVehicle& ai = s.addVehicle("Ai", 2);
  ai.sector = 1;
  setLast(ai, 20.0, 40.0, 60.0);

  me.sector = 2;
  setLast(me, 31.0, 63.0, 95.0);
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, -1.0f);

  me.sector = 1;
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, 95.0f);
  EXPECT_EQ(tail().playerBestSector1, 31.0f);
  EXPECT_EQ(tail().playerBestSector2, 63.0f);

  setLast(me, 30.0, 62.0, 96.0);
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, 95.0f);

  setLast(me, 30.0, 0.0, 94.0);  // a lap without its second sector
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, 95.0f);

  me.control = 2;  // no longer the player's car
  setLast(me, 30.0, 61.0, 93.0);
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, 95.0f);

  me.control = 1;
  cycle(s);
  EXPECT_EQ(tail().playerBestLapTime, 93.0f);
  EXPECT_EQ(tail().playerBestSector2, 61.0f);
}

TEST_F(TimeTableTest, ValuesThatAreNotNumbersAreNeverStored) {
  ScoringBuilder s;
  s.header().session = 5;
  HostVehicle& a = s.addVehicle("A", 1);
  setBest(a, 30.0, 60.0, kNaN);
  setLast(a, 30.0, 60.0, kInf);
  setSpeed(a, kNaN);
  HostVehicle& b = s.addVehicle("B", 2);
  setBest(b, 30.0, 60.0, 90.0);
  setLast(b, 30.0, 60.0, kNaN);
  setSpeed(b, kInf);
  HostVehicle& c = s.addVehicle("C", 3);
  setBest(c, kNaN, -kInf, 92.0);
  HostVehicle& d = s.addVehicle("D", 4);
  setLast(d, 30.0, 60.0, 1e300);  // more than a float holds
  HostVehicle& e = s.addVehicle("E", 5);
  setLast(e, 30.0, 60.0, 1e-60);  // 0 as a float
  HostVehicle& me = s.addVehicle("Me", 6);
  makePlayer(me);
  me.sector = 1;
  setLast(me, 30.0, kNaN, 91.0);
  cycle(s);

  EXPECT_EQ(entry(0).bestLapTime, -1.0f);
  EXPECT_EQ(entry(0).stintTopSpeed, 0.0f);
  EXPECT_EQ(entry(1).bestLapTime, 90.0f);
  EXPECT_EQ(entry(1).stintTopSpeed, 0.0f);
  EXPECT_EQ(entry(2).bestLapTime, 92.0f);
  EXPECT_EQ(entry(2).bestSector1, -1.0f);
  EXPECT_EQ(entry(2).bestSector2, -1.0f);
  EXPECT_EQ(entry(3).bestLapTime, -1.0f);
  EXPECT_EQ(entry(4).bestLapTime, -1.0f);
  EXPECT_EQ(entry(5).bestLapTime, 91.0f);
  EXPECT_EQ(entry(5).bestSector2, -1.0f);
  EXPECT_EQ(tail().playerBestLapTime, -1.0f);
  expectFastestLap("B", 90.0f, 30.0f, 60.0f);

  // A matched entry: the bad speed does not stick, a good one still counts.
  setLast(a, 30.0, 60.0, 95.0);
  cycle(s);
  EXPECT_EQ(entry(0).bestLapTime, 95.0f);
  EXPECT_EQ(entry(0).topSpeed, 0.0f);
  setSpeed(a, 50.0);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 50.0f);
  setSpeed(a, kInf);
  setLast(a, 30.0, 60.0, kNaN);
  setBest(a, 30.0, 60.0, kNaN);
  cycle(s);
  EXPECT_EQ(entry(0).topSpeed, 50.0f);
  EXPECT_EQ(entry(0).bestLapTime, 95.0f);

  // Lap times written into the table by someone else never qualify.
  t.entries[1].bestLapTime = std::numeric_limits<float>::quiet_NaN();
  t.entries[2].bestLapTime = -std::numeric_limits<float>::infinity();
  int found = fastestLapEntry(t);
  ASSERT_GE(found, 0);
  EXPECT_STREQ(entry(found).driverName, "Me");
}

TEST_F(TimeTableTest, NoVehicleIsReadWithoutACountOrAnArray) {
  ScoringBuilder s;
  setBest(s.addVehicle("Ann", 1), 30.0, 60.0, 90.0);
  cycle(s);
  ASSERT_EQ(entry(0).seenThisUpdate, 1);

  HostScoring header = *s.record();
  header.vehicles = nullptr;
  header.vehicleCount = 5;
  track(header);
  update(header);
  EXPECT_EQ(entry(0).seenThisUpdate, 0);
  expectNoFastestLap();

  HostVehicle one = s.vehicles()[0];
  std::strcpy(one.driverName, "Bob");
  header.vehicles = &one;
  for (int32_t count : {0, -1, -150}) {
    header.vehicleCount = count;
    track(header);
    update(header);
    EXPECT_EQ(entry(1).inUse, 0);
  }
}

TEST_F(TimeTableTest, NamesThatFillTheirFieldsAreCutAndKeepTheirEntry) {
  ScoringBuilder s;
  HostVehicle& v = s.addVehicle("x", 1);
  std::memset(v.driverName, 'D', sizeof v.driverName);
  std::memset(v.vehicleName, 'V', sizeof v.vehicleName);
  std::memset(v.vehicleClass, 'C', sizeof v.vehicleClass);
  setBest(v, 30.0, 60.0, 90.0);
  cycle(s);
  cycle(s);

  EXPECT_EQ(std::string(entry(0).driverName), std::string(31, 'D'));
  EXPECT_EQ(std::string(entry(0).vehicleName), std::string(63, 'V'));
  EXPECT_EQ(std::string(entry(0).vehicleClass), std::string(31, 'C'));
  EXPECT_EQ(entry(1).inUse, 0);
  EXPECT_EQ(std::string(tail().fastestLapDriver), std::string(31, 'D'));
}

TEST_F(TimeTableTest, ResetClearsEntriesAndTailButNotTheReservedBytes) {
  ScoringBuilder s;
  HostVehicle& me = s.addVehicle("Me", 1);
  makePlayer(me);
  me.sector = 1;
  setLast(me, 30.0, 60.0, 90.0);
  setSpeed(me, 40.0);
  cycle(s);
  cycle(s);
  t.earlyTimesSeen = 1;
  std::memset(t.reserved24045, 0x77, sizeof t.reserved24045);

  resetTimeTable(t);
  for (const TimeTableEntry& e : t.entries) {
    ASSERT_EQ(e.driverName[0], 0);
    ASSERT_EQ(e.vehicleName[0], 0);
    ASSERT_EQ(e.vehicleClass[0], 0);
    ASSERT_EQ(e.vehicleIndex, -1);
    ASSERT_EQ(e.place, 0);
    ASSERT_EQ(e.bestLapTime, -1.0f);
    ASSERT_EQ(e.bestSector1, -1.0f);
    ASSERT_EQ(e.bestSector2, -1.0f);
    ASSERT_EQ(e.topSpeed, 0.0f);
    ASSERT_EQ(e.stintTopSpeed, 0.0f);
    ASSERT_EQ(e.inUse | e.isPlayerVehicle | e.seenThisUpdate | e.vehicleStatus, 0);
  }
  expectNoFastestLap();
  EXPECT_EQ(tail().earlyTimesSeen, 0);
  EXPECT_EQ(tail().playerBestLapTime, -1.0f);
  EXPECT_EQ(tail().playerBestSector1, -1.0f);
  EXPECT_EQ(tail().playerBestSector2, -1.0f);
  EXPECT_EQ(tail().reserved24045[0], 0x77);

  // The stale "e" after the NUL is no part of the name: "Me" gets entry 0
  // afresh, with the best lap of its first update.
  EXPECT_EQ(entry(0).driverName[1], 'e');
  cycle(s);
  EXPECT_EQ(entry(0).inUse, 1);
  EXPECT_EQ(entry(1).inUse, 0);
  EXPECT_EQ(entry(0).topSpeed, 0.0f);
}

}  // namespace
}  // namespace korvanel

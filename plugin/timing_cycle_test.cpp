// The timing records as the plugin object drives them: the top speeds in the
// scoring block, the one early-phase scan of a session, the reset at session
// start and what reaches the shared block.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::FakeClock;
using testing::ScoringBuilder;
using testing::ScratchFolder;

void setSpeed(HostVehicle& v, double speed) { v.localVelocity[0] = speed; }

class TimingCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sharedBlock(), nullptr);
    plugin.startup(0);
    plugin.startSession();
  }

  void send(ScoringBuilder& s) { plugin.updateScoring(s.record()); }
  SharedBlock& block() { return *sharedBlock(); }
  TimeTable& table() { return publishedTimeTable(); }
  AbsoluteSectorTimes& sectors() { return publishedSectorTimes(); }

  // The top speed the scoring block shows for a driver.
  float blockTopSpeed(const char* driver) {
    const ScoringInfoV2& info = publishedScoring();
    for (int i = 0; i < countedVehicles(info); ++i) {
      if (std::strcmp(info.vehicles[i].host.driverName, driver) == 0) {
        return info.vehicles[i].topSpeed;
      }
    }
    ADD_FAILURE() << driver << " is not in the scoring block";
    return -1.0f;
  }

  void expectBothBlocksPublished() {
    EXPECT_EQ(std::memcmp(&block().timeTable, &table(), sizeof(TimeTable)), 0);
    EXPECT_EQ(std::memcmp(&block().sectorTimes, &sectors(), sizeof(AbsoluteSectorTimes)), 0);
  }

  void expectEarlyFlags(uint8_t timeTableFlag, uint8_t sectorFlag) {
    EXPECT_EQ(table().earlyTimesSeen, timeTableFlag);
    EXPECT_EQ(sectors().earlyTimesSeen, sectorFlag);
    EXPECT_EQ(block().timeTable.earlyTimesSeen, timeTableFlag);
    EXPECT_EQ(block().sectorTimes.earlyTimesSeen, sectorFlag);
  }

  ScratchFolder folder;
  FakeClock clock{400000};
  RenderPlugin plugin;
};

// Cars that already carry times: a lap for the table, a sector for the
// records.
ScoringBuilder timedField() {
  ScoringBuilder s;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  ann.bestSector1 = 30.0;
  ann.bestSector2 = 60.0;
  ann.bestLapTime = 90.0;
  ann.sector = 2;
  ann.currentSector1 = 30.5;
  s.addVehicle("Bob", 2);
  return s;
}

TEST_F(TimingCycleTest, UpdatesReachTheSharedBlockAndSessionStartClearsBothCopies) {
  ScoringBuilder s = timedField();
  HostVehicle& me = s.addVehicle("Me", 3);
  me.isPlayer = 1;
  me.control = 0;
  me.sector = 1;
  me.lastSector1 = 31.0;
  me.lastSector2 = 62.0;
  me.lastLapTime = 93.0;
  clock.advance(6000);
  send(s);
  clock.advance(200);
  send(s);

  EXPECT_STREQ(table().fastestLapDriver, "Ann");
  EXPECT_EQ(table().playerBestLapTime, 93.0f);
  EXPECT_EQ(sectors().recordTime[1], 30.5f);
  EXPECT_EQ(sectors().recordTime[0], 31.0f);
  EXPECT_EQ(sectors().playerRecordTime[0], 31.0f);
  EXPECT_EQ(sectors().earlyTimesSeen, 1);
  EXPECT_STREQ(block().timeTable.entries[2].driverName, "Me");
  expectBothBlocksPublished();

  plugin.startSession();
  for (const TimeTableEntry& e : table().entries) {
    ASSERT_EQ(e.inUse, 0);
    ASSERT_EQ(e.driverName[0], 0);
    ASSERT_EQ(e.bestLapTime, -1.0f);
  }
  EXPECT_EQ(table().fastestLapTime, -1.0f);
  EXPECT_STREQ(table().fastestLapDriver, "");
  EXPECT_EQ(table().playerBestLapTime, -1.0f);
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(sectors().recordTime[slot], -1.0f);
    EXPECT_EQ(sectors().playerRecordTime[slot], -1.0f);
    EXPECT_STREQ(sectors().recordHolder[slot], "");
  }
  expectEarlyFlags(0, 0);
  expectBothBlocksPublished();
}

TEST_F(TimingCycleTest, TheEarlyPhaseScanRunsInExactlyOneUpdate) {
  ScoringBuilder s = timedField();
  clock.advance(2000);
  send(s);
  clock.advance(3000);  // exactly 5000 ms after session start: no scan yet
  send(s);
  EXPECT_TRUE(cycleState().earlyPhase);
  expectEarlyFlags(0, 0);

  clock.advance(1);
  send(s);
  EXPECT_FALSE(cycleState().earlyPhase);
  // The second publication step runs before the early phase ends, so the
  // table's flag survives the update that set it.
  expectEarlyFlags(1, 1);

  // Next update: the same lap is published again by the second step, which
  // now clears the table's flag; the sector records keep theirs.
  clock.advance(500);
  send(s);
  expectEarlyFlags(0, 1);

  sectors().earlyTimesSeen = 0;
  for (int i = 0; i < 3; ++i) {
    clock.advance(10000);
    send(s);
  }
  expectEarlyFlags(0, 0);
}

TEST_F(TimingCycleTest, AScanThatFindsNoTimesIsNotRepeated) {
  ScoringBuilder quiet;
  quiet.addVehicle("Ann", 1);
  quiet.addVehicle("Bob", 2);
  clock.advance(5001);
  send(quiet);
  EXPECT_FALSE(cycleState().earlyPhase);
  expectEarlyFlags(0, 0);

  ScoringBuilder s = timedField();
  clock.advance(100);
  send(s);
  expectEarlyFlags(0, 0);
}

// A clock that moves one millisecond at every reading, so that an update
// reads several different ticks.
std::atomic<uint32_t> gTicking{0};
uint32_t tickingClock() { return gTicking++; }

TEST_F(TimingCycleTest, TheScanAndTheEndOfTheEarlyPhaseAgreeWithinOneUpdate) {
  ScoringBuilder s = timedField();
  platform::setTickSourceForTesting(&tickingClock);
  // Start the update at every tick around the mark: whichever update ends the
  // early phase must be the one that scanned.
  for (uint32_t offset = 4980; offset <= 5001; ++offset) {
    gTicking = 1000000;
    plugin.startSession();
    uint32_t start = cycleState().sessionStartTick;
    gTicking = start + offset;
    send(s);
    if (cycleState().earlyPhase) {
      EXPECT_EQ(sectors().earlyTimesSeen, 0) << offset;
    } else {
      EXPECT_EQ(sectors().earlyTimesSeen, 1) << offset;
      EXPECT_EQ(table().earlyTimesSeen, 1) << offset;
    }
  }
  EXPECT_FALSE(cycleState().earlyPhase);
  platform::setTickSourceForTesting(nullptr);
}

TEST_F(TimingCycleTest, TheScoringBlockShowsTopSpeedsAsTheyStoodBeforeTheTableUpdate) {
  ScoringBuilder s;
  s.header().session = 5;
  HostVehicle& ann = s.addVehicle("Ann", 1);
  auto step = [&](double speed, bool inPits) {
    setSpeed(ann, speed);
    ann.inPits = inPits ? 1 : 0;
    clock.advance(200);
    send(s);
  };
  step(50.0, false);
  EXPECT_EQ(blockTopSpeed("Ann"), 0.0f);  // no entry yet when the speeds were copied
  step(70.0, false);
  EXPECT_EQ(blockTopSpeed("Ann"), 70.0f);
  step(20.0, true);
  ann.lastLapTime = 90.0;
  step(30.0, false);
  // The new best lap hands the stint's 30 to the table after the copy.
  EXPECT_EQ(table().entries[0].topSpeed, 30.0f);
  EXPECT_EQ(blockTopSpeed("Ann"), 70.0f);
  step(25.0, false);
  EXPECT_EQ(blockTopSpeed("Ann"), 30.0f);
  EXPECT_EQ(block().scoring.vehicles[0].topSpeed, 30.0f);
}

TEST_F(TimingCycleTest, TheHundredAndFiftyFirstDriverHasNoTopSpeedAndNoFastestLap) {
  ScoringBuilder s;
  s.header().session = 11;
  for (int i = 0; i < 150; ++i) {
    std::string name = "Driver " + std::to_string(i);
    HostVehicle& v = s.addVehicle(name.c_str(), static_cast<uint8_t>(i + 2));
    v.bestLapTime = 100.0 + i;
    setSpeed(v, 60.0);
  }
  // Last in the host's array but leading the race, so it is in the block.
  HostVehicle& late = s.addVehicle("Latecomer", 1);
  late.bestLapTime = 80.0;
  setSpeed(late, 99.0);
  for (int i = 0; i < 3; ++i) {
    clock.advance(200);
    send(s);
  }
  EXPECT_EQ(blockTopSpeed("Latecomer"), 0.0f);
  EXPECT_EQ(blockTopSpeed("Driver 3"), 60.0f);
  EXPECT_STREQ(table().fastestLapDriver, "Driver 0");
  EXPECT_EQ(table().fastestLapTime, 100.0f);
  for (const TimeTableEntry& e : table().entries) EXPECT_STRNE(e.driverName, "Latecomer");
  expectBothBlocksPublished();
}

}  // namespace
}  // namespace korvanel

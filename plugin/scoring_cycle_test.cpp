// Whole scoring updates through the plugin object: what reaches the
// in-process scoring block, the shared block and the state record.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
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
using testing::ScoringBuilder;
using testing::ScratchFolder;

// The configuration the plugin object finds when it is built; gone again
// with the test, so other tests get the process's own.
struct TestConfig {
  TestConfig() {
    config.classRows[1][0] = "GT";
    config.classRows[1][1] = "GT3";
    config.teamMembers = {"Team Mate"};
    PluginConfig::setInstanceForTesting(&config);
  }
  ~TestConfig() { PluginConfig::setInstanceForTesting(nullptr); }
  PluginConfig config;
};

HostVehicle& addPlayer(ScoringBuilder& scoring, const char* driver, uint8_t place,
                       const char* vehicleClass = "GT3") {
  HostVehicle& v = scoring.addVehicle(driver, place, vehicleClass);
  v.isPlayer = 1;
  v.control = 0;
  return v;
}

class ScoringCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sharedBlock(), nullptr);
    plugin.startup(0);
    plugin.startSession();
  }

  SharedBlock& block() { return *sharedBlock(); }
  ScoringInfoV2& local() { return publishedScoring(); }
  void send(ScoringBuilder& s) { plugin.updateScoring(s.record()); }
  std::string driverAt(int i) { return block().scoring.vehicles[i].host.driverName; }

  ScratchFolder folder;
  FakeClock clock{900000};
  TestConfig test;
  RenderPlugin plugin;
};

TEST_F(ScoringCycleTest, PublishesTheSortedBlockInBothCopies) {
  ScoringBuilder s;
  s.addVehicle("Third", 3);
  s.addVehicle("First", 1);
  s.addVehicle("Second", 2);
  s.header().lapLength = 4000.0;
  s.vehicles()[1].lapsCompleted = 2;
  s.vehicles()[1].lapDistance = 1000.0;
  s.setHostText(std::string(3000, 'h'));
  block().scoringPublished = 0;
  send(s);

  EXPECT_EQ(driverAt(0), "First");
  EXPECT_EQ(driverAt(1), "Second");
  EXPECT_EQ(driverAt(2), "Third");
  EXPECT_EQ(block().scoring.vehicles[0].lapProgress, 2.25f);
  EXPECT_STREQ(block().scoring.vehicles[0].driverNameUpper, "FIRST");
  EXPECT_STREQ(block().scoring.trackName, "Big Oval");
  EXPECT_EQ(double{block().scoring.lapLength}, 4000.0);
  EXPECT_EQ(std::string(block().scoring.hostText), std::string(1999, 'h'));
  EXPECT_EQ(block().scoringPublished, 1);
  // The shared copy is the in-process block, byte for byte.
  EXPECT_EQ(std::memcmp(&block().scoring, &local(), sizeof(ScoringInfoV2)), 0);
}

TEST_F(ScoringCycleTest, MoreCarsThanEntriesKeepTheLeadersAndTheHostsCount) {
  ScoringBuilder s;
  for (int k = 0; k < 180; ++k) {
    s.addVehicle(("car" + std::to_string(k)).c_str(), static_cast<uint8_t>(180 - k));
  }
  addPlayer(s, "Me", 1);        // host index 180, ahead of everyone
  s.vehicles()[179].place = 2;  // the old place-1 car drops to 2, tied with car178
  send(s);
  EXPECT_EQ(block().scoring.vehicleCount, 181);
  EXPECT_EQ(driverAt(0), "Me");
  EXPECT_EQ(driverAt(1), "car178");  // equal places keep host order
  EXPECT_EQ(driverAt(2), "car179");
  EXPECT_EQ(driverAt(149), "car31");  // place 149
  EXPECT_EQ(block().scoring.playerIndex, 0);
  EXPECT_EQ(block().scoring.playerPlace, 1);
  EXPECT_EQ(block().scoring.classLeaderIndex, 0);
}

TEST_F(ScoringCycleTest, ClassRowComesFromTheSharedStateRecord) {
  ScoringBuilder s;
  s.addVehicle("a", 1, "LMP");
  s.addVehicle("b", 2, "GT3");
  s.addVehicle("c", 3, "gt3");
  const auto groupOf = [&](int i) { return block().scoring.vehicles[i].classPosition; };

  block().state.selectedClassRow = 1;
  send(s);
  EXPECT_EQ(groupOf(0), 0);
  EXPECT_EQ(groupOf(1), 1);
  EXPECT_EQ(groupOf(2), 2);
  EXPECT_EQ(block().scoring.classLeaderIndex, 1);

  // A row the configuration does not have: nothing grouped, nothing read
  // beyond the table.
  block().state.selectedClassRow = 200;
  send(s);
  EXPECT_EQ(block().scoring.noClassGroup, 1);
  EXPECT_EQ(block().scoring.classLeaderIndex, -1);

  block().state.selectedClassRow = 0;
  send(s);
  EXPECT_EQ(block().scoring.noClassGroup, 0);
  EXPECT_EQ(groupOf(0), 1);
  EXPECT_EQ(groupOf(2), 3);
}

TEST_F(ScoringCycleTest, PlayerFieldsReachTheStateRecord) {
  ScoringBuilder s;
  s.addVehicle("a", 1);
  addPlayer(s, "Me", 2);
  s.addVehicle("c", 3);
  send(s);
  for (const HostState* st : {&hostState(), &block().state}) {
    EXPECT_EQ(st->noPlayerVehicle, 0);
    EXPECT_EQ(st->playerPlace, 2);
    EXPECT_EQ(st->playerIndex, 1);
  }

  ScoringBuilder noPlayer;
  noPlayer.addVehicle("a", 1);
  send(noPlayer);
  for (const HostState* st : {&hostState(), &block().state}) {
    EXPECT_EQ(st->noPlayerVehicle, 1);
    EXPECT_EQ(st->playerPlace, 1000);
    EXPECT_EQ(st->playerIndex, -1);
  }
  EXPECT_EQ(block().scoring.playerClassPosition, 1000);
}

TEST_F(ScoringCycleTest, GapsAndTeamMarksOfOneUpdate) {
  ScoringBuilder s;
  HostVehicle& leader = s.addVehicle("Team Mate", 1);
  HostVehicle& player = addPlayer(s, "Me", 2);
  HostVehicle& third = s.addVehicle("team mate", 3);
  leader.lapsCompleted = player.lapsCompleted = third.lapsCompleted = 4;
  player.timeBehindNext = 1.5;
  third.timeBehindNext = 2.0;
  send(s);
  const VehicleInfoV2* v = block().scoring.vehicles;
  EXPECT_EQ(v[0].timeGapToPlayer, -1.5f);
  EXPECT_EQ(v[2].timeGapToPlayer, 2.0f);
  EXPECT_EQ(v[2].timeBehindClassLeader, 3.5f);
  EXPECT_EQ(v[2].timeBehindClassAhead, 2.0f);
  // The player drives and no realtime mode was asked for: no team marks.
  EXPECT_EQ(v[0].teamMember, 0);
  EXPECT_EQ(v[2].teamMember, 0);

  test.config.realtimeMode = true;
  send(s);
  EXPECT_EQ(v[0].teamMember, 1);
  EXPECT_EQ(v[1].teamMember, 0);
  EXPECT_EQ(v[2].teamMember, 1);
}

TEST_F(ScoringCycleTest, NoVehiclesStillPublishesHeaderAndTail) {
  ScoringBuilder full;
  addPlayer(full, "Me", 1);
  send(full);
  ScoringBuilder empty;
  std::strcpy(empty.header().trackName, "Empty Ring");
  send(empty);
  EXPECT_STREQ(block().scoring.trackName, "Empty Ring");
  EXPECT_EQ(block().scoring.vehicleCount, 0);
  EXPECT_STREQ(block().scoring.vehicles[0].host.driverName, "Me");  // stale, as published
  EXPECT_EQ(block().scoring.playerIndex, -1);
  EXPECT_EQ(block().scoring.noClassGroup, 1);
  EXPECT_EQ(block().state.noPlayerVehicle, 1);
}

// A reader in the host's process holds the lock: the update waits 500 ms
// of ticks, then does all its work without the lock and leaves it to its
// holder.
TEST_F(ScoringCycleTest, GivesUpTheLockAfterHalfASecondAndStillPublishes) {
  std::atomic<int> stage{0};
  std::atomic<bool> sent{false};
  std::atomic<bool> waitedAt500{false};
  std::thread reader([&] {
    platform::lockEnter(dataLock());
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    clock.advance(500);  // not yet more than 500 ms: the update keeps trying
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    waitedAt500 = !sent;
    clock.advance(1);
    while (stage != 3) std::this_thread::yield();
    platform::lockLeave(dataLock());
  });
  while (stage != 1) std::this_thread::yield();
  ScoringBuilder s;
  addPlayer(s, "Waited", 1);
  block().scoringPublished = 0;
  stage = 2;
  send(s);
  sent = true;
  EXPECT_TRUE(waitedAt500);
  EXPECT_EQ(driverAt(0), "Waited");
  EXPECT_EQ(block().scoringPublished, 1);
  EXPECT_EQ(block().state.playerIndex, 0);
  EXPECT_FALSE(platform::lockTryEnter(dataLock()));  // still the reader's
  stage = 3;
  reader.join();
  ASSERT_TRUE(platform::lockTryEnter(dataLock()));
  platform::lockLeave(dataLock());
}

// The early phase lasts 5000 ms of ticks from session start, also when the
// tick counter wraps in between.
TEST_F(ScoringCycleTest, EarlyPhaseCountsTicksAcrossTheCounterWrap) {
  ScoringBuilder s;
  s.addVehicle("Timed", 1).bestLapTime = 95.0;
  clock.set(0xFFFFF000u);
  plugin.startSession();
  publishedSectorTimes().earlyTimesSeen = 0;

  clock.advance(1000);
  send(s);
  EXPECT_TRUE(cycleState().earlyPhase);
  EXPECT_EQ(publishedSectorTimes().earlyTimesSeen, 0);

  clock.advance(4000);  // exactly 5000 ms, and past the wrap
  send(s);
  EXPECT_TRUE(cycleState().earlyPhase);
  EXPECT_EQ(publishedSectorTimes().earlyTimesSeen, 0);

  clock.advance(1);
  send(s);
  EXPECT_FALSE(cycleState().earlyPhase);
  EXPECT_EQ(publishedSectorTimes().earlyTimesSeen, 1);
}

TEST(ScoringCycleWithoutBlock, UsesRowZeroAndUpdatesTheInProcessBlock) {
  ScratchFolder folder;
  TestConfig test;
  platform::failNextSharedBlockForTesting(platform::MapResult::kMapFailed, 8);
  RenderPlugin plugin;
  ASSERT_EQ(sharedBlock(), nullptr);
  hostState().selectedClassRow = 1;  // only the block's copy would count
  ScoringBuilder s;
  s.addVehicle("b", 2, "LMP");
  s.addVehicle("a", 1, "LMP");
  plugin.updateScoring(s.record());
  EXPECT_STREQ(publishedScoring().vehicles[0].host.driverName, "a");
  EXPECT_EQ(publishedScoring().vehicles[1].classPosition, 2);
  EXPECT_EQ(hostState().noPlayerVehicle, 1);
}

}  // namespace
}  // namespace korvanel

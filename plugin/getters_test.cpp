// The in-process getters: stable addresses, the track-loaded flag and the
// scoring clock.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "plugin/exports.h"
#include "plugin/render_plugin.h"
#include "publish/data_lock.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::FakeClock;
using testing::makeTelemetry;
using testing::ScoringBuilder;
using testing::ScratchFolder;

struct Addresses {
  void* telemetry = GetTelemetryInfoV2();
  void* scoring = GetScoringInfoV2();
  void* state = GetQuorvexState();
  void* timeTable = GetTimeTable();
  void* sectors = GetABSOLUTESectorTimes();
  void* lock = GetCriticalSection();

  bool operator==(const Addresses& o) const {
    return telemetry == o.telemetry && scoring == o.scoring && state == o.state &&
           timeTable == o.timeTable && sectors == o.sectors && lock == o.lock;
  }
};

TEST(GettersTest, AddressesNeverChangeBeforeDuringOrAfterThePluginObject) {
  ScratchFolder folder;
  Addresses before;
  EXPECT_EQ(before.telemetry, &publishedTelemetry());
  EXPECT_EQ(before.scoring, &publishedScoring());
  EXPECT_EQ(before.state, &hostState());
  EXPECT_EQ(before.timeTable, &publishedTimeTable());
  EXPECT_EQ(before.sectors, &publishedSectorTimes());
  EXPECT_EQ(before.lock, &dataLock());

  auto plugin = std::make_unique<RenderPlugin>();
  EXPECT_TRUE(Addresses() == before);
  HostTelemetry t = makeTelemetry();
  plugin->updateTelemetry(&t);
  EXPECT_TRUE(Addresses() == before);
  // The lock behind the address works once the object exists.
  ASSERT_TRUE(platform::lockTryEnter(*static_cast<platform::LockStorage*>(GetCriticalSection())));
  platform::lockLeave(dataLock());
  plugin.reset();
  EXPECT_TRUE(Addresses() == before);
}

TEST(GettersTest, TrackLoadedStoresAndReturnsTheLowByte) {
  EXPECT_EQ(TrackLoaded(1), 1);
  EXPECT_EQ(hostState().trackLoaded, 1);
  EXPECT_EQ(TrackLoaded(256), 0);
  EXPECT_EQ(hostState().trackLoaded, 0);
  EXPECT_EQ(TrackLoaded(0x1FF), 0xFF);
  EXPECT_EQ(hostState().trackLoaded, 0xFF);
  EXPECT_EQ(TrackLoaded(0), 0);
}

TEST(GettersTest, TrackLoadedOutlivesTheNextUpdatesCopyIn) {
  ScratchFolder folder;
  RenderPlugin plugin;
  ASSERT_NE(sharedBlock(), nullptr);
  EXPECT_EQ(TrackLoaded(1), 1);
  EXPECT_EQ(sharedBlock()->state.trackLoaded, 1);
  HostTelemetry t = makeTelemetry();
  plugin.updateTelemetry(&t);
  EXPECT_EQ(hostState().trackLoaded, 1);
  EXPECT_EQ(TrackLoaded(256), 0);
  plugin.updateTelemetry(&t);
  EXPECT_EQ(hostState().trackLoaded, 0);
  EXPECT_EQ(sharedBlock()->state.trackLoaded, 0);
}

class ScoringClockTest : public ::testing::Test {
 protected:
  void scoringUpdate() {
    ScoringBuilder scoring;
    scoring.addVehicle("Someone", 1);
    plugin.updateScoring(scoring.record());
  }

  ScratchFolder folder;
  FakeClock clock{50000};
  RenderPlugin plugin;
};

TEST_F(ScoringClockTest, CountsSecondsSinceTheLatestScoringUpdate) {
  scoringUpdate();
  EXPECT_EQ(scoringClockReset(), 1);
  clock.advance(300);  // the reset, not the tick, makes the first answer 0
  EXPECT_EQ(GetTime(), 0.0f);
  EXPECT_EQ(scoringClockReset(), 0);
  clock.advance(1500);
  EXPECT_EQ(GetTime(), 1.5f);
  clock.advance(250);
  EXPECT_EQ(GetTime(), 1.75f);

  scoringUpdate();
  clock.advance(10);
  EXPECT_EQ(GetTime(), 0.0f);
  clock.advance(1);
  EXPECT_EQ(GetTime(), 0.001f);
}

TEST_F(ScoringClockTest, StaysSmallAcrossAWrapOfTheTickCounter) {
  clock.set(0xFFFFFC18u);  // 1000 ms before the wrap
  scoringUpdate();
  EXPECT_EQ(GetTime(), 0.0f);
  clock.advance(2500);
  EXPECT_EQ(clock.now(), 1500u);
  EXPECT_EQ(GetTime(), 2.5f);
}

TEST_F(ScoringClockTest, AResetSetFromAnotherProcessIsConsumedHereOnce) {
  scoringUpdate();
  EXPECT_EQ(GetTime(), 0.0f);
  clock.advance(4000);
  scoringClockReset() = 1;  // as another process's scoring update would
  EXPECT_EQ(GetTime(), 0.0f);
  clock.advance(500);
  EXPECT_EQ(GetTime(), 0.5f);
}

}  // namespace
}  // namespace korvanel

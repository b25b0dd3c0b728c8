// The plugin object's construction, lifecycle calls and log, driven as the
// host drives them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "plugin/exports.h"
#include "platform/plugin_log.h"
#include "plugin/render_plugin.h"
#include "publish/data_lock.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.kersTime = 4.5f;
    PluginConfig::setInstanceForTesting(&config_);
  }
  void TearDown() override {
    plugin_.reset();
    PluginConfig::setInstanceForTesting(nullptr);
  }
  RenderPlugin& make() {
    plugin_ = std::make_unique<RenderPlugin>();
    return *plugin_;
  }
  std::string log() const { return folder_.readFile("Plugins/KORVANEL/KORVANEL.log.txt"); }

  testing::ScratchFolder folder_;
  PluginConfig config_;
  std::unique_ptr<RenderPlugin> plugin_;
};

// Fills the record with values no lifecycle call would set.
void scribble(HostState& s) {
  std::memset(&s, 0x5A, sizeof s);
  s.playerIndex = 7;
  s.playerPlace = 8;
  s.updateCount = 99;
  s.timeSinceScoring = 1.25f;
  s.vehicleDistance = 1234.5;
  s.vehicleTrackDistance = 77.0;
  s.kersRemaining = 3.0f;
}

void expectStoppedState(const HostState& s, uint8_t shutDownAndClosed) {
  EXPECT_EQ(s.sessionActive, 0);
  EXPECT_EQ(s.trackLoaded, 0);
  EXPECT_EQ(s.inRealtime, 0);
  EXPECT_EQ(s.noPlayerVehicle, 1);
  EXPECT_EQ(s.playerPlace, -1);
  EXPECT_EQ(s.playerIndex, -1);
  EXPECT_EQ(s.timeSinceScoring, 0.0f);
  EXPECT_EQ(s.updateCount, 0);
  EXPECT_EQ(s.dataUpdated, 0);
  EXPECT_EQ(s.vehicleDistance, 0.0);
  EXPECT_EQ(s.vehicleTrackDistance, 0.0);
  EXPECT_EQ(s.distanceResetCommand, 0);
  EXPECT_EQ(s.shutDown, shutDownAndClosed);
  EXPECT_EQ(s.selectedClassRow, 0);
  EXPECT_EQ(s.kersTimerOn, 0);
  EXPECT_EQ(s.kersRunning, 0);
  EXPECT_EQ(s.kersRemaining, 0.0f);
  EXPECT_EQ(s.closed, shutDownAndClosed);
}

TEST_F(LifecycleTest, ConstructionCreatesTheBlockWithAZeroStateAndTheLockAddress) {
  scribble(hostState());
  make();
  SharedBlock* block = sharedBlock();
  ASSERT_NE(block, nullptr);
  HostState zero{};
  EXPECT_EQ(std::memcmp(&hostState(), &zero, sizeof zero), 0);
  EXPECT_EQ(std::memcmp(&block->state, &zero, sizeof zero), 0);
  EXPECT_EQ(block->dataLockAddress,
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetCriticalSection())));
}

TEST_F(LifecycleTest, StartupAndShutdownSetTheirTableAndPublishIt) {
  RenderPlugin& plugin = make();
  scribble(hostState());
  plugin.startup(0);
  expectStoppedState(hostState(), 0);
  HostState once = hostState();
  plugin.startup(0);
  EXPECT_EQ(std::memcmp(&once, &hostState(), sizeof once), 0);
  expectStoppedState(sharedBlock()->state, 0);

  scribble(hostState());
  plugin.shutdown();
  expectStoppedState(hostState(), 1);
  expectStoppedState(sharedBlock()->state, 1);
  plugin.startup(0);
  EXPECT_EQ(hostState().shutDown, 0);
  EXPECT_EQ(hostState().closed, 0);
}

TEST_F(LifecycleTest, SessionStartKeepsCountersAndCommandBytes) {
  RenderPlugin& plugin = make();
  scribble(hostState());
  HostState before = hostState();
  plugin.startSession();
  const HostState& s = hostState();
  EXPECT_EQ(s.sessionActive, 1);
  EXPECT_EQ(s.trackLoaded, 1);
  EXPECT_EQ(s.inRealtime, 0);
  EXPECT_EQ(s.noPlayerVehicle, 1);
  EXPECT_EQ(s.dataUpdated, 0);
  EXPECT_EQ(s.kersRunning, 0);
  EXPECT_EQ(s.kersRemaining, 4.5f);
  EXPECT_EQ(s.playerPlace, before.playerPlace);
  EXPECT_EQ(s.playerIndex, before.playerIndex);
  EXPECT_EQ(s.timeSinceScoring, before.timeSinceScoring);
  EXPECT_EQ(s.updateCount, before.updateCount);
  EXPECT_EQ(s.vehicleDistance, before.vehicleDistance);
  EXPECT_EQ(s.vehicleTrackDistance, before.vehicleTrackDistance);
  EXPECT_EQ(s.distanceResetCommand, before.distanceResetCommand);
  EXPECT_EQ(s.shutDown, before.shutDown);
  EXPECT_EQ(s.selectedClassRow, before.selectedClassRow);
  EXPECT_EQ(s.kersTimerOn, before.kersTimerOn);
  EXPECT_EQ(s.closed, before.closed);
  EXPECT_EQ(std::memcmp(&sharedBlock()->state, &s, sizeof s), 0);
  EXPECT_TRUE(cycleState().earlyPhase);
}

TEST_F(LifecycleTest, SessionEndResetsAndPublishesWhenTheLockIsFree) {
  RenderPlugin& plugin = make();
  plugin.startSession();
  scribble(hostState());
  plugin.endSession();
  expectStoppedState(hostState(), 0);
  expectStoppedState(sharedBlock()->state, 0);
}

TEST_F(LifecycleTest, SessionEndWithTheLockBusyLeavesTheBlocksCopy) {
  RenderPlugin& plugin = make();
  plugin.startSession();
  HostState published = sharedBlock()->state;
  testing::LockHeldElsewhere reader;
  plugin.endSession();
  expectStoppedState(hostState(), 0);
  EXPECT_EQ(std::memcmp(&sharedBlock()->state, &published, sizeof published), 0);
}

// Every call that writes the block opens and closes one write of the read
// protocol: the counter moves on by one odd and one even value; a call that
// writes nothing leaves it; a counter left odd by a writer that died moves
// to the next odd value, never to an even one, when the next write opens.
TEST_F(LifecycleTest, EveryCallThatWritesTheBlockMovesTheCounterOnByOneWrite) {
  RenderPlugin& plugin = make();
  SharedBlock* block = sharedBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->layoutStamp, kLayoutStamp);
  EXPECT_EQ(block->sequence % 2, 0u);  // creation closed its write
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"startup", [&] { plugin.startup(0); }},
      {"session start", [&] { plugin.startSession(); }},
      {"realtime entry", [&] { plugin.enterRealtime(); }},
      {"realtime exit", [&] { plugin.exitRealtime(); }},
      {"TrackLoaded", [&] { TrackLoaded(1); }},
      {"session end", [&] { plugin.endSession(); }},
      {"shutdown", [&] { plugin.shutdown(); }},
  };
  for (const auto& [name, call] : calls) {
    uint32_t before = block->sequence;
    call();
    EXPECT_EQ(block->sequence, before + 2) << name;
  }

  {
    testing::LockHeldElsewhere reader;
    uint32_t before = block->sequence;
    plugin.endSession();  // the lock is busy: nothing written
    EXPECT_EQ(block->sequence, before);
  }

  block->sequence = 7;
  plugin.startup(0);
  EXPECT_EQ(block->sequence, 10u);
  EXPECT_EQ(block->layoutStamp, kLayoutStamp) << "no update writes the stamp";
}

TEST_F(LifecycleTest, RealtimeCallsWriteBothCopiesOnlyWithABlock) {
  RenderPlugin& plugin = make();
  plugin.enterRealtime();
  EXPECT_EQ(hostState().inRealtime, 1);
  EXPECT_EQ(sharedBlock()->state.inRealtime, 1);
  plugin.exitRealtime();
  EXPECT_EQ(hostState().inRealtime, 0);
  EXPECT_EQ(sharedBlock()->state.inRealtime, 0);
  plugin_.reset();

  platform::failNextSharedBlockForTesting(platform::MapResult::kCreateFailed, 5);
  RenderPlugin& without = make();
  EXPECT_EQ(sharedBlock(), nullptr);
  without.enterRealtime();
  EXPECT_EQ(hostState().inRealtime, 0);
}

TEST_F(LifecycleTest, LogHoldsTheLifeOfOneObjectAndASecondObjectTruncatesIt) {
  RenderPlugin& plugin = make();
  plugin.startup(0);
  plugin.shutdown();
  // The test's configuration is already loaded, so only the calls log.
  EXPECT_EQ(log(), testing::onDisk("--- Korvanel Startup ---\n--- Korvanel Shutdown ---\n"));
  plugin_.reset();
  make();
  EXPECT_EQ(log(), "");
}

TEST_F(LifecycleTest, BlockFailuresAreLoggedAndThePluginRunsOnItsOwnCopies) {
  platform::failNextSharedBlockForTesting(platform::MapResult::kCreateFailed, 5);
  make();
  EXPECT_EQ(sharedBlock(), nullptr);
  EXPECT_NE(log().find(testing::onDisk("ERROR CreateFileMapping: 5\n")), std::string::npos)
      << log();
  plugin_.reset();

  platform::failNextSharedBlockForTesting(platform::MapResult::kMapFailed, -3);
  RenderPlugin& plugin = make();
  EXPECT_EQ(sharedBlock(), nullptr);
  EXPECT_NE(log().find(testing::onDisk("ERROR MapViewOfFile: -3\n")), std::string::npos) << log();
  plugin.startup(0);
  plugin.startSession();
  EXPECT_EQ(hostState().sessionActive, 1);
  plugin.endSession();
  plugin.shutdown();
  EXPECT_EQ(hostState().closed, 1);
}

TEST_F(LifecycleTest, MissingPluginFolderLeavesNoLogAndEverythingWorks) {
  testing::ScratchFolder bare(false);
  RenderPlugin& plugin = make();
  plugin.startup(0);
  plugin.startSession();
  plugin.endSession();
  plugin.shutdown();
  EXPECT_FALSE(std::filesystem::exists(bare.path() / "Plugins"));
}

TEST_F(LifecycleTest, UpdateCountFromTheBlockWrapsInsteadOfOverflowing) {
  RenderPlugin& plugin = make();
  testing::ScoringBuilder scoring;
  sharedBlock()->state.updateCount = std::numeric_limits<int32_t>::max();
  plugin.updateScoring(scoring.record());
  EXPECT_EQ(hostState().updateCount, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(sharedBlock()->state.updateCount, std::numeric_limits<int32_t>::min());
}

TEST(PluginLogTest, OverlongPathIsCutNotOverrun) {
  testing::ScratchFolder folder;
  std::string path(1000, 'a');
  PluginLog log(path.c_str());
  EXPECT_EQ(std::strlen(log.path()), 259u);
  log.write("ignored");  // the cut path does not open; the write is a no-op
  log.write("text ", int32_t{-5});
}

TEST(PluginLogTest, LineFormsMatchTheirTexts) {
  testing::ScratchFolder folder;
  {
    PluginLog log("Plugins\\KORVANEL\\forms.txt");
    ASSERT_TRUE(log.isOpen());
    log.write("plain");
    log.write("joined ", "text");
    log.write("ERROR CreateFileMapping: ", int32_t{5});
    log.write("HUD.KersTime ", 6.7f);
    // Each line is on disk at once.
    EXPECT_EQ(
        folder.readFile("Plugins/KORVANEL/forms.txt"),
        testing::onDisk("plain\njoined text\nERROR CreateFileMapping: 5\nHUD.KersTime 6.700000\n"));
  }
}

TEST(ExportsTest, IdentityAndDestroyThroughTheHandle) {
  testing::ScratchFolder folder;
  PluginConfig config;
  PluginConfig::setInstanceForTesting(&config);
  EXPECT_STREQ(GetPluginName(), "Korvanel - Mendrali");
  EXPECT_EQ(GetPluginType(), 3);
  EXPECT_EQ(GetPluginVersion(), 1);
  DestroyPluginObject(nullptr);
  PluginObject* handle = CreatePluginObject();
  ASSERT_NE(handle, nullptr);
  auto* plugin = static_cast<RenderPlugin*>(static_cast<InternalsPlugin*>(handle));
  // The handle is a base past the table pointer, not the object's address.
  EXPECT_NE(static_cast<void*>(handle), static_cast<void*>(plugin));
  EXPECT_TRUE(plugin->wantsScoringUpdates());
  EXPECT_EQ(plugin->wantsTelemetryUpdates(), 1);
  DestroyPluginObject(handle);
  EXPECT_EQ(sharedBlock(), nullptr);
  PluginConfig::setInstanceForTesting(nullptr);
}

TEST(DataLockTest, WaitGivesUpAfterHalfASecondAndLeavesTheOthersLock) {
  initDataLock();
  std::atomic<int> stage{0};
  std::thread holder([&] {
    platform::lockEnter(dataLock());
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    // Still ours: a release by the waiter would have let this succeed twice.
    platform::lockLeave(dataLock());
    stage = 3;
  });
  while (stage != 1) std::this_thread::yield();
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(waitForLock(dataLock()));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(500));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  EXPECT_FALSE(platform::lockTryEnter(dataLock()));
  stage = 2;
  while (stage != 3) std::this_thread::yield();
  holder.join();
  ASSERT_TRUE(waitForLock(dataLock()));
  platform::lockLeave(dataLock());
}

}  // namespace
}  // namespace korvanel

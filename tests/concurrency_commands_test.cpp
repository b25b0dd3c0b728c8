// Command bytes that a display program writes into the shared block while an
// update is running, between the update's copy of the state record in and
// its copy out. The clock hook stands in for the display: the update reads
// the tick after its copy in, and at that moment the "display" writes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::ScoringBuilder;
using testing::ScratchFolder;

// What the display writes at the first tick reading of an update.
struct DisplayWrite {
  int field = -1;  // offset in the state record; -1: nothing pending
  uint8_t value = 0;
};
std::atomic<uint32_t> gTick{100000};
DisplayWrite gPending;

uint32_t tickWithDisplay() {
  if (gPending.field >= 0) {
    reinterpret_cast<uint8_t*>(&sharedBlock()->state)[gPending.field] = gPending.value;
    gPending.field = -1;
  }
  return gTick += 3;
}

class CommandsDuringUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.load("Plugins\\KORVANEL\\korvanelconf.txt", nullptr);
    PluginConfig::setInstanceForTesting(&config_);
    platform::setTickSourceForTesting(&tickWithDisplay);
    plugin_ = new RenderPlugin;
    ASSERT_NE(sharedBlock(), nullptr);
    plugin_->startup(0);
    plugin_->startSession();
    scoring_.addVehicle("Me", 1, "GT3", "Formula Car 2").isPlayer = 1;
    scoring_.vehicles().back().control = 0;
    scoring_.header().realtimeFlag = 1;
    telemetry_ = testing::makeTelemetry();
    telemetry_.localVelocity[2] = 90.0;
    telemetry_.deltaTime = 1.0;
    // Keys loaded, some distance on both totals.
    plugin_->updateTelemetry(&telemetry_);
    plugin_->updateScoring(scoring_.record());
    for (int i = 0; i < 3; ++i) plugin_->updateTelemetry(&telemetry_);
    ASSERT_DOUBLE_EQ(block().state.vehicleDistance, 270.0);
  }
  void TearDown() override {
    delete plugin_;
    platform::setTickSourceForTesting(nullptr);
    PluginConfig::setInstanceForTesting(nullptr);
  }
  SharedBlock& block() { return *sharedBlock(); }
  void displayWritesDuringNextUpdate(size_t field, uint8_t value) {
    gPending = DisplayWrite{static_cast<int>(field), value};
  }

  ScratchFolder folder_;
  PluginConfig config_;
  RenderPlugin* plugin_ = nullptr;
  ScoringBuilder scoring_;
  HostTelemetry telemetry_{};
};

// A reset written while a scoring update runs is neither carried out nor
// cleared by it; the next telemetry update carries it out, once.
TEST_F(CommandsDuringUpdateTest, AResetWrittenDuringAScoringUpdateIsCarriedOutOnce) {
  for (uint8_t command : {kResetVehicleDistance, kResetTrackDistance}) {
    double before = command == kResetVehicleDistance ? block().state.vehicleDistance
                                                     : block().state.vehicleTrackDistance;
    ASSERT_GE(before, 270.0);
    displayWritesDuringNextUpdate(offsetof(HostState, distanceResetCommand), command);
    plugin_->updateScoring(scoring_.record());
    EXPECT_EQ(block().state.distanceResetCommand, command) << "the command was wiped out";
    plugin_->updateTelemetry(&telemetry_);
    EXPECT_EQ(block().state.distanceResetCommand, 0);
    double after = command == kResetVehicleDistance ? block().state.vehicleDistance
                                                    : block().state.vehicleTrackDistance;
    EXPECT_DOUBLE_EQ(after, 90.0);  // reset, then this update's step
    plugin_->updateTelemetry(&telemetry_);
    after = command == kResetVehicleDistance ? block().state.vehicleDistance
                                             : block().state.vehicleTrackDistance;
    EXPECT_DOUBLE_EQ(after, 180.0);  // not reset a second time
  }
}

// The telemetry update looks at the block's byte itself, not at the copy it
// took in: a reset written after that copy is still carried out at once.
TEST_F(CommandsDuringUpdateTest, AResetWrittenAfterTheCopyInIsCarriedOutByThatUpdate) {
  displayWritesDuringNextUpdate(offsetof(HostState, distanceResetCommand), kResetVehicleDistance);
  plugin_->updateTelemetry(&telemetry_);
  EXPECT_EQ(block().state.distanceResetCommand, 0);
  EXPECT_DOUBLE_EQ(block().state.vehicleDistance, 90.0);
}

// The class row and the KERS switches written during an update keep the
// display's values; the update's copy out does not bring the old ones back.
TEST_F(CommandsDuringUpdateTest, SwitchesWrittenDuringAnUpdateAreNotUndone) {
  struct Case {
    size_t field;
    uint8_t value;
  };
  for (Case c :
       {Case{offsetof(HostState, selectedClassRow), 7}, Case{offsetof(HostState, kersTimerOn), 1},
        Case{offsetof(HostState, kersRunning), 1}}) {
    for (bool scoringUpdate : {true, false}) {
      reinterpret_cast<uint8_t*>(&block().state)[c.field] = 0;
      displayWritesDuringNextUpdate(c.field, c.value);
      if (scoringUpdate) {
        plugin_->updateScoring(scoring_.record());
      } else {
        plugin_->updateTelemetry(&telemetry_);
      }
      EXPECT_EQ(reinterpret_cast<uint8_t*>(&block().state)[c.field], c.value)
          << "field at " << c.field << (scoringUpdate ? " in a scoring" : " in a telemetry")
          << " update";
      // And it reaches the plugin's own record at the next update.
      plugin_->updateTelemetry(&telemetry_);
      EXPECT_EQ(reinterpret_cast<uint8_t*>(&hostState())[c.field], c.value);
    }
  }
}

// Everything else the update owns is still published whole.
TEST_F(CommandsDuringUpdateTest, TheRestOfTheStateRecordIsPublishedAsBefore) {
  block().state.selectedClassRow = 4;
  block().state.kersTimerOn = 1;
  plugin_->updateTelemetry(&telemetry_);
  EXPECT_EQ(std::memcmp(&block().state, &hostState(), sizeof(HostState)), 0);
  plugin_->updateScoring(scoring_.record());
  EXPECT_EQ(std::memcmp(&block().state, &hostState(), sizeof(HostState)), 0);
  EXPECT_EQ(block().state.playerIndex, 0);
  EXPECT_EQ(block().state.selectedClassRow, 4);
}

}  // namespace
}  // namespace korvanel

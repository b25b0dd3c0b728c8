// The odometer as the plugin object drives it: keys taken by the scoring
// update, distance fed by the telemetry update, saves while the player is
// not driving, about once a minute while driving (on a thread of its own, so
// that a crash of the host loses at most that), at a display's reset command
// and at session end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::makeTelemetry;
using testing::ScoringBuilder;
using testing::ScratchFolder;

constexpr char kFile[] = "Plugins/KORVANEL/KM.txt";

std::string kmFile(const char* vehicleTotal, const char* trackTotal) {
  return std::string("[KM]\nFormula_Car_2=") + vehicleTotal +
         "\n[KM_TRACKS]\nFormula_Car_2[Big_Oval]=" + trackTotal + "\n";
}

class OdometerCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PluginConfig::setInstanceForTesting(&config_);
    plugin_ = std::make_unique<RenderPlugin>();
    ASSERT_NE(sharedBlock(), nullptr);
    plugin().startup(0);
    plugin().startSession();
  }
  void TearDown() override {
    plugin_.reset();
    PluginConfig::setInstanceForTesting(nullptr);
  }

  RenderPlugin& plugin() { return *plugin_; }
  Odometer& odometer() { return plugin_->odometer(); }
  std::string file() const { return folder_.readFile(kFile); }
  bool fileExists() const { return std::filesystem::exists(folder_.path() / kFile); }
  void removeFile() const { std::filesystem::remove(folder_.path() / kFile); }

  // One telemetry step covering `distance` (binary fractions stay exact).
  void drive(double distance, const char* vehicle = "Formula Car 2") {
    HostTelemetry t = makeTelemetry(vehicle);
    t.deltaTime = 0.5;
    t.localVelocity[2] = distance * 2.0;
    plugin().updateTelemetry(&t);
  }

  void score(uint8_t realtimeFlag, bool withPlayer = true) {
    ScoringBuilder scoring;  // at "Big Oval"
    scoring.addVehicle("Someone Else", 1);
    if (withPlayer) {
      HostVehicle& player = scoring.addVehicle("Player One", 2, "GT3", "Formula Car 2");
      player.isPlayer = 1;
      player.control = 0;
    }
    scoring.header().realtimeFlag = realtimeFlag;
    plugin().updateScoring(scoring.record());
  }

  ScratchFolder folder_;
  testing::FakeClock clock_;
  PluginConfig config_;
  std::unique_ptr<RenderPlugin> plugin_;
};

TEST_F(OdometerCycleTest, ScoringSavesOnlyWithAPlayerWhoIsNotDriving) {
  folder_.writeFile(kFile, kmFile("100.000000", "50.000000"));
  drive(1.0);  // before the keys are known: discarded by the load
  score(1);
  EXPECT_TRUE(odometer().loaded);
  EXPECT_STREQ(odometer().vehicleKey, "Formula_Car_2");
  EXPECT_STREQ(odometer().trackKey, "Big_Oval");
  EXPECT_EQ(odometer().vehicleTotal, 100.0);

  drive(2.5);
  EXPECT_EQ(hostState().vehicleDistance, 102.5);
  EXPECT_EQ(hostState().vehicleTrackDistance, 52.5);
  EXPECT_EQ(sharedBlock()->state.vehicleDistance, 102.5);
  score(1);  // driving
  EXPECT_EQ(file(), kmFile("100.000000", "50.000000"));
  score(0, false);  // no player car
  EXPECT_EQ(file(), kmFile("100.000000", "50.000000"));
  score(0);
  EXPECT_EQ(file(), kmFile("102.500000", "52.500000"));

  // Nothing new: the next update writes nothing; any telemetry step, even
  // a standing one, makes it write again, once a second has passed since
  // the last write.
  removeFile();
  score(0);
  EXPECT_FALSE(fileExists());
  drive(0.0);
  score(0);
  EXPECT_FALSE(fileExists());
  clock_.advance(kOdometerSaveIntervalMs);
  drive(0.0);
  EXPECT_EQ(file(), kmFile("102.500000", "52.500000"));
}

// A display that keeps the reset byte set: each telemetry update resets the
// total at once, but the file is written at most once a second.
TEST_F(OdometerCycleTest, AHeldResetCommandWritesTheFileAtMostOnceASecond) {
  drive(0.0);
  score(1);
  int writes = 0;
  std::string last;
  for (int call = 0; call < 200; ++call) {  // two seconds at 100 calls a second
    sharedBlock()->state.distanceResetCommand = kResetVehicleDistance;
    drive(1.0);
    EXPECT_EQ(hostState().vehicleDistance, 1.0);
    std::string now = fileExists() ? file() : "";
    if (now != last) ++writes;  // every write holds a new track total
    last = now;
    clock_.advance(10);
  }
  EXPECT_GE(writes, 2);
  EXPECT_LE(writes, 3);
  // Once the byte is let go, the latest totals still reach the file.
  clock_.advance(kOdometerSaveIntervalMs);
  drive(0.0);
  EXPECT_EQ(file(), kmFile("1.000000", "200.000000"));
}

TEST_F(OdometerCycleTest, AResetCommandWritesZeroAtOnceAndKeepsTheOtherTotal) {
  struct Case {
    uint8_t command;
    const char* file;
    double vehicle;
    double track;
  } cases[] = {
      {kResetVehicleDistance, "0.000000|700.000000", 1.5, 701.5},
      {kResetTrackDistance, "500.000000|0.000000", 501.5, 1.5},
  };
  for (const Case& c : cases) {
    clock_.advance(kOdometerSaveIntervalMs);
    plugin().startSession();
    folder_.writeFile(kFile, kmFile("500.000000", "700.000000"));
    drive(0.0);
    score(1);  // keys taken; driving, so no save
    ASSERT_EQ(odometer().vehicleTotal, 500.0);

    sharedBlock()->state.distanceResetCommand = c.command;
    drive(1.5);
    std::string expected(c.file);
    size_t bar = expected.find('|');
    EXPECT_EQ(file(), kmFile(expected.substr(0, bar).c_str(), expected.substr(bar + 1).c_str()))
        << int(c.command);
    EXPECT_EQ(odometer().vehicleTotal, c.vehicle) << int(c.command);
    EXPECT_EQ(odometer().trackTotal, c.track) << int(c.command);
    EXPECT_EQ(hostState().vehicleDistance, c.vehicle) << int(c.command);
    EXPECT_EQ(sharedBlock()->state.vehicleTrackDistance, c.track) << int(c.command);
    EXPECT_EQ(hostState().distanceResetCommand, 0);
    EXPECT_EQ(sharedBlock()->state.distanceResetCommand, 0);
  }
}

TEST_F(OdometerCycleTest, AResetCommandBeforeTheKeysAreKnownWritesNothing) {
  drive(4.0);
  sharedBlock()->state.distanceResetCommand = kResetVehicleDistance;
  drive(1.0);
  EXPECT_EQ(odometer().vehicleTotal, 1.0);
  EXPECT_EQ(odometer().trackTotal, 5.0);
  EXPECT_FALSE(fileExists());
}

TEST_F(OdometerCycleTest, SessionEndSavesAndTheNextSessionGoesOnFromThere) {
  drive(0.0);
  score(1);
  EXPECT_TRUE(odometer().loaded);
  EXPECT_EQ(odometer().vehicleTotal, 0.0);  // no file yet
  drive(10.0);
  drive(5.5);
  score(1);
  EXPECT_FALSE(fileExists());

  plugin().endSession();
  EXPECT_EQ(file(), kmFile("15.500000", "15.500000"));
  EXPECT_FALSE(odometer().loaded);
  EXPECT_EQ(odometer().vehicleTotal, 0.0);
  EXPECT_EQ(hostState().vehicleDistance, 0.0);

  plugin().startSession();
  drive(3.0);
  EXPECT_EQ(hostState().vehicleDistance, 3.0);  // counted, then replaced by the load
  score(1);
  drive(0.5);
  EXPECT_EQ(hostState().vehicleDistance, 16.0);
  EXPECT_EQ(hostState().vehicleTrackDistance, 16.0);
  plugin().endSession();
  EXPECT_EQ(file(), kmFile("16.000000", "16.000000"));
}

TEST_F(OdometerCycleTest, DrivingSavesOnceAMinuteWithoutWaitingForTheFile) {
  drive(0.0);
  score(1);  // driving: the keys are taken, the scoring updates save nothing
  ASSERT_TRUE(odometer().loaded);
  for (int second = 1; second < 60; ++second) {
    clock_.advance(1000);
    drive(10.0);
  }
  EXPECT_FALSE(fileExists());  // less than a minute of driving
  clock_.advance(1000);
  drive(10.0);  // a minute: this call hands the totals over and returns
  auto start = std::chrono::steady_clock::now();
  while (!fileExists() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(file(), kmFile("600.000000", "600.000000"));  // what a crash now would leave
  drive(2.5);  // takes the save's result; the distance goes on counting
  EXPECT_EQ(hostState().vehicleDistance, 602.5);
  plugin().endSession();
  EXPECT_EQ(file(), kmFile("602.500000", "602.500000"));
}

TEST_F(OdometerCycleTest, ACarChangeWithinASessionKeepsTheFirstKeys) {
  drive(0.0, "Formula Car 2");
  score(1);
  drive(2.0, "Other Car");
  score(0);
  EXPECT_STREQ(odometer().vehicleKey, "Formula_Car_2");
  EXPECT_EQ(file(), kmFile("2.000000", "2.000000"));
}

}  // namespace
}  // namespace korvanel

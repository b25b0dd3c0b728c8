// Drives the DLL exactly as the host does: exports by name, the plugin
// object through its table by position. A slip in the binary contract (a
// second destructor slot, a method out of order, the wrong handle) fails here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/test_support.h"
#include "tests/win32/dll_host.h"

namespace korvanel::wine {
namespace {

constexpr const char* kBlockName = "$Quorvex2KORVANEL$";
constexpr size_t kStateOffset = 127480;

// Offsets inside the state record.
constexpr size_t kSessionActive = 0;
constexpr size_t kTrackLoaded = 1;
constexpr size_t kInRealtime = 2;
constexpr size_t kNoPlayer = 3;
constexpr size_t kPlayerPlace = 4;
constexpr size_t kPlayerIndex = 8;
constexpr size_t kShutDown = 41;
constexpr size_t kKersRemaining = 48;
constexpr size_t kClosed = 52;

class HostAbiTest : public ::testing::Test {
 protected:
  korvanel::testing::ScratchFolder folder_;
  DllHost host_;
};

TEST_F(HostAbiTest, IdentifiesItselfBeforeAnyObjectExists) {
  ASSERT_TRUE(host_.loaded()) << dllPath();
  EXPECT_STREQ(host_.resolve<DllHost::NameFn>("GetPluginName")(), "Korvanel - Mendrali");
  EXPECT_EQ(host_.resolve<DllHost::IntFn>("GetPluginType")(), 3);
  EXPECT_EQ(host_.resolve<DllHost::IntFn>("GetPluginVersion")(), 1);
  for (const char* name : {"GetTelemetryInfoV2", "GetScoringInfoV2", "GetQuorvexState",
                           "GetTimeTable", "GetABSOLUTESectorTimes", "GetCriticalSection"}) {
    void* first = host_.getter<void>(name);
    EXPECT_NE(first, nullptr) << name;
    EXPECT_EQ(host_.getter<void>(name), first) << name;
  }
}

TEST_F(HostAbiTest, HandleLiesPastTheTablePointerAndQueriesAnswer) {
  ASSERT_TRUE(host_.loaded());
  ASSERT_NE(host_.create(), nullptr);
  // The host may use its member freely; the plugin must not be disturbed.
  host_.hostMember() = 0xDEADBEEF;
  EXPECT_NE(host_.table(), nullptr);
  EXPECT_TRUE(host_.call<bool>(kWantsScoring));
  EXPECT_EQ(host_.call<int32_t>(kWantsTelemetry), 1);
  EXPECT_FALSE(host_.call<bool>(13));
  EXPECT_FALSE(host_.call<bool>(15, int32_t{7}));
  EXPECT_FALSE(host_.call<bool>(16));
  EXPECT_FALSE(host_.call<bool>(20, int32_t{1}, int32_t{2}));
  EXPECT_FALSE(host_.call<bool>(21, int32_t{3}));
  EXPECT_FALSE(host_.call<bool>(23, int32_t{4}, int32_t{5}));
  // The unused methods take their arguments and return cleanly.
  host_.call<void>(3);
  host_.call<void>(4);
  host_.call<void>(14, int32_t{1});
  host_.call<void>(17, int32_t{1}, int32_t{2});
  host_.call<void>(18);
  host_.call<void>(19);
  host_.call<void>(22, int32_t{1});
  EXPECT_EQ(host_.hostMember(), 0xDEADBEEFu);
  host_.destroyThroughExport();
}

TEST_F(HostAbiTest, LifecycleThroughTheTableKeepsTheStateRecord) {
  ASSERT_TRUE(host_.loaded());
  ASSERT_NE(host_.create(), nullptr);
  auto* state = host_.getter<unsigned char>("GetQuorvexState");
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());

  host_.call<void>(kStartup, int32_t{0});
  EXPECT_EQ(state[kNoPlayer], 1);
  int32_t place;
  std::memcpy(&place, state + kPlayerPlace, 4);
  EXPECT_EQ(place, -1);
  EXPECT_EQ(block.at<int32_t>(kStateOffset + kPlayerIndex), -1);

  host_.call<void>(kStartSession);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kSessionActive), 1);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kTrackLoaded), 1);
  EXPECT_FLOAT_EQ(block.at<float>(kStateOffset + kKersRemaining), 6.7f);

  host_.call<void>(kEnterRealtime);
  EXPECT_EQ(state[kInRealtime], 1);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kInRealtime), 1);
  host_.call<void>(kExitRealtime);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kInRealtime), 0);

  host_.call<void>(kEndSession);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kSessionActive), 0);

  host_.call<void>(kShutdown);
  EXPECT_EQ(state[kShutDown], 1);
  EXPECT_EQ(state[kClosed], 1);
  EXPECT_EQ(block.at<uint8_t>(kStateOffset + kClosed), 1);

  // Slot 0 is the deleting destructor: flag bit 0 frees, the object's
  // address comes back.
  void* object = host_.object();
  EXPECT_EQ(host_.call<void*>(kDestroy, uint32_t{1}), object);
}

TEST_F(HostAbiTest, DestroyExportIgnoresNullAndLogEndsLinesWithCrLf) {
  ASSERT_TRUE(host_.loaded());
  host_.resolve<DllHost::DestroyFn>("DestroyPluginObject")(nullptr);
  ASSERT_NE(host_.create(), nullptr);
  host_.call<void>(kStartup, int32_t{0});
  host_.call<void>(kShutdown);
  host_.destroyThroughExport();
  std::string log = folder_.readFile("Plugins/KORVANEL/KORVANEL.log.txt");
  EXPECT_NE(log.find("Configuration File: Plugins\\KORVANEL\\korvanelconf.txt\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("--- Korvanel Startup ---\r\n--- Korvanel Shutdown ---\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("\n\n"), std::string::npos);
}

TEST_F(HostAbiTest, TrackLoadedUsesTheLowByteOnly) {
  ASSERT_TRUE(host_.loaded());
  auto trackLoaded = host_.resolve<DllHost::TrackLoadedFn>("TrackLoaded");
  auto* state = host_.getter<unsigned char>("GetQuorvexState");
  EXPECT_EQ(trackLoaded(256), 0);
  EXPECT_EQ(state[kTrackLoaded], 0);
  EXPECT_EQ(trackLoaded(1), 1);
  EXPECT_EQ(state[kTrackLoaded], 1);
}

}  // namespace
}  // namespace korvanel::wine

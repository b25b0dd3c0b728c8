// A scoring update handed to the DLL through the host's table, read back as
// a display program reads it: from the shared block opened by name, at the
// published byte offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/test_support.h"
#include "tests/win32/dll_host.h"

namespace korvanel::wine {
namespace {

constexpr const char* kBlockName = "$Quorvex2KORVANEL$";

// Offsets in the shared block.
constexpr size_t kScoring = 1912;
constexpr size_t kState = 127480;
constexpr size_t kScoringPublished = 127540;

// Offsets in the scoring block and its entries.
constexpr size_t kTrackName = 0;
constexpr size_t kLapLength = 96;
constexpr size_t kHostText = 104;
constexpr size_t kVehicleCount = 2104;
constexpr size_t kEntries = 2544;
constexpr size_t kEntrySize = 820;
constexpr size_t kPlayerPlace = 125544;
constexpr size_t kPlayerClassPosition = 125548;
constexpr size_t kPlayerIndex = 125552;
constexpr size_t kClassLeaderIndex = 125556;
constexpr size_t kNoClassGroup = 125560;

constexpr size_t kDriverName = 4;
constexpr size_t kPlace = 199;
constexpr size_t kTeamMember = 588;
constexpr size_t kClassPosition = 592;
constexpr size_t kLapProgress = 600;
constexpr size_t kDriverNameUpper = 668;
constexpr size_t kTimeGapToPlayer = 788;

// Offsets in the state record.
constexpr size_t kNoPlayerVehicle = 3;
constexpr size_t kStatePlayerIndex = 8;
constexpr size_t kSelectedClassRow = 42;

size_t entry(int i, size_t field) { return kScoring + kEntries + kEntrySize * i + field; }

class ScoringWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.writeFile("Plugins/KORVANEL/korvanelconf.txt",
                      "[GENERAL]\r\nTeamMembers=Team Mate;$$realtime_mode$$\r\n"
                      "[HUD]\r\nGrid_Classes4=Prototypes,lmp2,#PROTO\r\n");
    ASSERT_TRUE(host_.loaded()) << dllPath();
    ASSERT_NE(host_.create(), nullptr);
    host_.call<void>(kStartup, int32_t{0});
    host_.call<void>(kStartSession);
  }
  void TearDown() override {
    if (host_.handle()) host_.destroyThroughExport();
  }
  void send(korvanel::testing::ScoringBuilder& s) {
    host_.call<void>(kUpdateScoring, static_cast<const void*>(s.record()));
  }
  std::string text(const BlockView& block, size_t offset) {
    return reinterpret_cast<const char*>(block.bytes() + offset);
  }

  korvanel::testing::ScratchFolder folder_;
  DllHost host_;
};

TEST_F(ScoringWineTest, SortedConvertedAndAnalysedBlockReachesTheSharedBlock) {
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  korvanel::testing::ScoringBuilder s;
  std::strcpy(s.header().trackName, "Harbour Loop");
  s.header().lapLength = 4000.0;
  s.setHostText(std::string(2500, 'q'));
  HostVehicle& third = s.addVehicle("Team Mate", 3, "GT3");
  HostVehicle& first = s.addVehicle("Ann", 1, "GT3");
  HostVehicle& player = s.addVehicle("Player", 2, "GT3");
  player.isPlayer = 1;
  player.control = 0;
  first.lapsCompleted = player.lapsCompleted = third.lapsCompleted = 6;
  player.lapDistance = 1000.0;
  player.timeBehindNext = 1.5;
  third.timeBehindNext = 2.0;
  block.bytes()[kScoringPublished] = 0;
  send(s);

  EXPECT_EQ(text(block, kScoring + kTrackName), "Harbour Loop");
  EXPECT_EQ(block.at<double>(kScoring + kLapLength), 4000.0);
  EXPECT_EQ(text(block, kScoring + kHostText), std::string(1999, 'q'));
  EXPECT_EQ(block.at<int32_t>(kScoring + kVehicleCount), 3);
  const char* order[] = {"Ann", "Player", "Team Mate"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(text(block, entry(i, kDriverName)), order[i]) << i;
    EXPECT_EQ(block.at<uint8_t>(entry(i, kPlace)), i + 1) << i;
    EXPECT_EQ(block.at<int32_t>(entry(i, kClassPosition)), i + 1) << i;  // row 0: all
  }
  EXPECT_EQ(text(block, entry(2, kDriverNameUpper)), "TEAM MATE");
  EXPECT_EQ(block.at<float>(entry(1, kLapProgress)), 6.25f);
  EXPECT_EQ(block.at<float>(entry(0, kTimeGapToPlayer)), -1.5f);
  EXPECT_EQ(block.at<float>(entry(2, kTimeGapToPlayer)), 2.0f);
  EXPECT_EQ(block.at<uint8_t>(entry(2, kTeamMember)), 1);  // realtime mode asked for
  EXPECT_EQ(block.at<uint8_t>(entry(0, kTeamMember)), 0);
  EXPECT_EQ(block.at<int32_t>(kScoring + kPlayerIndex), 1);
  EXPECT_EQ(block.at<int32_t>(kScoring + kPlayerPlace), 2);
  EXPECT_EQ(block.at<int32_t>(kScoring + kClassLeaderIndex), 0);
  EXPECT_EQ(block.at<uint8_t>(kState + kNoPlayerVehicle), 0);
  EXPECT_EQ(block.at<int32_t>(kState + kStatePlayerIndex), 1);
  EXPECT_EQ(block.at<uint8_t>(kScoringPublished), 1);

  // The in-process getter hands out the same image.
  auto* local = host_.getter<unsigned char>("GetScoringInfoV2");
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(std::memcmp(local, block.bytes() + kScoring, 125568), 0);
}

TEST_F(ScoringWineTest, ClassRowChosenThroughTheSharedStateRecord) {
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  korvanel::testing::ScoringBuilder s;
  s.addVehicle("a", 1, "GT3");
  s.addVehicle("b", 2, "LMP2");
  HostVehicle& player = s.addVehicle("c", 3, "Proto X");
  player.isPlayer = 1;
  player.control = 1;

  block.bytes()[kState + kSelectedClassRow] = 1;  // the configured row
  send(s);
  EXPECT_EQ(block.at<int32_t>(entry(0, kClassPosition)), 0);
  EXPECT_EQ(block.at<int32_t>(entry(1, kClassPosition)), 1);
  EXPECT_EQ(block.at<int32_t>(entry(2, kClassPosition)), 2);
  EXPECT_EQ(block.at<int32_t>(kScoring + kClassLeaderIndex), 1);
  EXPECT_EQ(block.at<int32_t>(kScoring + kPlayerClassPosition), 2);

  block.bytes()[kState + kSelectedClassRow] = 250;  // beyond the table: no group
  send(s);
  EXPECT_EQ(block.at<uint8_t>(kScoring + kNoClassGroup), 1);
  EXPECT_EQ(block.at<int32_t>(kScoring + kClassLeaderIndex), -1);
  EXPECT_EQ(block.at<int32_t>(kScoring + kPlayerClassPosition), 0);
}

}  // namespace
}  // namespace korvanel::wine

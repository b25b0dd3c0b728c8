// The timing table and the sector records as a display program in another
// process finds them in the shared block, with the DLL driven as the host
// drives it. Offsets are written out here, not taken from the project's
// headers, so a slip in either layout fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/test_support.h"
#include "tests/win32/dll_host.h"

namespace korvanel::wine {
namespace {

constexpr const char* kBlockName = "$Quorvex2KORVANEL$";

// The shared block's regions.
constexpr size_t kScoring = 1912;
constexpr size_t kTimeTable = 127544;
constexpr size_t kSectors = 151604;
constexpr size_t kTimeTableSize = 24060;
constexpr size_t kSectorsSize = 220;

// Inside the scoring block: vehicle entries of 820 bytes, the top speed.
constexpr size_t kScoringVehicles = 2544;
constexpr size_t kVehicleSize = 820;
constexpr size_t kVehicleTopSpeed = 596;

// Inside the timing table: entries of 160 bytes, then the tail.
constexpr size_t kEntrySize = 160;
constexpr size_t kEntryBestLap = 144;
constexpr size_t kEntryTopSpeed = 148;
constexpr size_t kEntryInUse = 156;
constexpr size_t kTail = 24000;
constexpr size_t kTailFastestLap = 0;
constexpr size_t kTailFastestSector2 = 8;
constexpr size_t kTailFastestDriver = 12;
constexpr size_t kTailEarlyTimes = 44;
constexpr size_t kTailPlayerBestLap = 48;

// Inside the sector records: names of 32 bytes by slot, then the times.
constexpr size_t kRecordTime = 192;
constexpr size_t kPlayerRecordTime = 204;
constexpr size_t kSectorsEarlyTimes = 216;

class TimingWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.loaded()) << dllPath();
    ASSERT_NE(host_.create(), nullptr);
    host_.call<void>(kStartup, int32_t{0});
  }
  void TearDown() override {
    if (host_.handle()) host_.destroyThroughExport();
  }

  void send(korvanel::testing::ScoringBuilder& s) { host_.call<void>(kUpdateScoring, s.record()); }

  std::string text(const BlockView& b, size_t offset) const {
    return std::string(reinterpret_cast<const char*>(b.bytes() + offset));
  }
  float entryField(const BlockView& b, int k, size_t field) const {
    return b.at<float>(kTimeTable + k * kEntrySize + field);
  }

  korvanel::testing::ScoringBuilder field() {
    korvanel::testing::ScoringBuilder s;
    s.header().session = 11;
    HostVehicle& ann = s.addVehicle("Ann", 1);
    ann.bestSector1 = 30.0;
    ann.bestSector2 = 60.0;
    ann.bestLapTime = 90.0;
    ann.sector = 2;
    ann.currentSector1 = 30.5;
    ann.localVelocity[0] = 70.0;
    HostVehicle& bob = s.addVehicle("Bob", 2);
    bob.sector = 1;
    bob.lastSector1 = 31.0;
    bob.lastSector2 = 62.5;
    bob.lastLapTime = 95.0;
    bob.localVelocity[2] = -65.0;
    HostVehicle& me = s.addVehicle("Me", 3);
    me.isPlayer = 1;
    me.control = 0;
    me.sector = 1;
    me.lastSector1 = 31.0;
    me.lastSector2 = 62.0;
    me.lastLapTime = 96.0;
    return s;
  }

  korvanel::testing::ScratchFolder folder_;
  DllHost host_;
};

TEST_F(TimingWineTest, BothBlocksReachTheSharedBlockAndSessionStartClearsThem) {
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  auto* table = host_.getter<unsigned char>("GetTimeTable");
  auto* sectors = host_.getter<unsigned char>("GetABSOLUTESectorTimes");

  // Before any session start the early phase is measured from tick 0, so on
  // a machine up for more than five seconds the first update scans.
  korvanel::testing::ScoringBuilder s = field();
  send(s);
  s.vehicles()[0].localVelocity[0] = 80.0;
  send(s);

  EXPECT_EQ(text(block, kTimeTable), "Ann");
  EXPECT_EQ(text(block, kTimeTable + 2 * kEntrySize), "Me");
  EXPECT_EQ(block.at<uint8_t>(kTimeTable + 2 * kEntrySize + kEntryInUse), 1);
  EXPECT_EQ(block.at<uint8_t>(kTimeTable + 3 * kEntrySize + kEntryInUse), 0);
  EXPECT_EQ(entryField(block, 0, kEntryBestLap), 90.0f);
  EXPECT_EQ(entryField(block, 1, kEntryBestLap), 95.0f);
  EXPECT_EQ(entryField(block, 0, kEntryTopSpeed), 80.0f);
  EXPECT_EQ(entryField(block, 1, kEntryTopSpeed), 65.0f);
  EXPECT_EQ(block.at<float>(kTimeTable + kTail + kTailFastestLap), 90.0f);
  EXPECT_EQ(block.at<float>(kTimeTable + kTail + kTailFastestSector2), 60.0f);
  EXPECT_EQ(text(block, kTimeTable + kTail + kTailFastestDriver), "Ann");
  EXPECT_EQ(block.at<float>(kTimeTable + kTail + kTailPlayerBestLap), 96.0f);
  // Ann leads the race, so she is the scoring block's first entry.
  EXPECT_EQ(block.at<float>(kScoring + kScoringVehicles + kVehicleTopSpeed), 80.0f);
  EXPECT_EQ(block.at<float>(kScoring + kScoringVehicles + kVehicleSize + kVehicleTopSpeed), 65.0f);

  EXPECT_EQ(block.at<float>(kSectors + kRecordTime + 0), 32.5f);
  EXPECT_EQ(text(block, kSectors + 0), "Bob");
  EXPECT_EQ(block.at<float>(kSectors + kRecordTime + 4), 30.5f);
  EXPECT_EQ(text(block, kSectors + 32), "Ann");
  EXPECT_EQ(block.at<float>(kSectors + kRecordTime + 8), -1.0f);
  EXPECT_EQ(block.at<float>(kSectors + kPlayerRecordTime + 0), 34.0f);
  EXPECT_EQ(block.at<float>(kSectors + kPlayerRecordTime + 4), -1.0f);
  if (GetTickCount() > 10000) {
    EXPECT_EQ(block.at<uint8_t>(kSectors + kSectorsEarlyTimes), 1);
  }

  EXPECT_EQ(std::memcmp(block.bytes() + kTimeTable, table, kTimeTableSize), 0);
  EXPECT_EQ(std::memcmp(block.bytes() + kSectors, sectors, kSectorsSize), 0);

  host_.call<void>(kStartSession);
  for (int k = 0; k < 150; ++k) {
    ASSERT_EQ(block.at<uint8_t>(kTimeTable + k * kEntrySize), 0) << k;
    ASSERT_EQ(block.at<uint8_t>(kTimeTable + k * kEntrySize + kEntryInUse), 0) << k;
    ASSERT_EQ(entryField(block, k, kEntryBestLap), -1.0f) << k;
  }
  EXPECT_EQ(block.at<float>(kTimeTable + kTail + kTailFastestLap), -1.0f);
  EXPECT_EQ(text(block, kTimeTable + kTail + kTailFastestDriver), "");
  EXPECT_EQ(block.at<float>(kTimeTable + kTail + kTailPlayerBestLap), -1.0f);
  EXPECT_EQ(block.at<uint8_t>(kTimeTable + kTail + kTailEarlyTimes), 0);
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(block.at<float>(kSectors + kRecordTime + 4 * slot), -1.0f);
    EXPECT_EQ(block.at<float>(kSectors + kPlayerRecordTime + 4 * slot), -1.0f);
    EXPECT_EQ(text(block, kSectors + 32 * slot), "");
  }
  EXPECT_EQ(block.at<uint8_t>(kSectors + kSectorsEarlyTimes), 0);

  // Within five seconds of session start no scan runs, whatever the cars carry.
  send(s);
  EXPECT_EQ(text(block, kTimeTable + kTail + kTailFastestDriver), "Ann");
  EXPECT_EQ(block.at<uint8_t>(kTimeTable + kTail + kTailEarlyTimes), 0);
  EXPECT_EQ(block.at<uint8_t>(kSectors + kSectorsEarlyTimes), 0);
  EXPECT_EQ(std::memcmp(block.bytes() + kTimeTable, table, kTimeTableSize), 0);
  EXPECT_EQ(std::memcmp(block.bytes() + kSectors, sectors, kSectorsSize), 0);
}

}  // namespace
}  // namespace korvanel::wine

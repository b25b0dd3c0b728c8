// The absolute sector records: which sector each vehicle offers, the strict
// comparisons, the holder's name and the player's own records.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "tests/test_support.h"
#include "timing/sector_records.h"

namespace korvanel {
namespace {

using testing::ScoringBuilder;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Slots by the host's sector code.
constexpr int kThird = 0;
constexpr int kFirst = 1;
constexpr int kSecond = 2;

HostVehicle& inFirstSector(ScoringBuilder& s, const char* driver, double lastLap,
                           double lastSector2) {
  HostVehicle& v = s.addVehicle(driver, static_cast<uint8_t>(s.vehicles().size() + 1));
  v.sector = 1;
  v.lastLapTime = lastLap;
  v.lastSector2 = lastSector2;
  return v;
}

HostVehicle& inSecondSector(ScoringBuilder& s, const char* driver, double sector1) {
  HostVehicle& v = s.addVehicle(driver, static_cast<uint8_t>(s.vehicles().size() + 1));
  v.sector = 2;
  v.currentSector1 = sector1;
  return v;
}

HostVehicle& inThirdSector(ScoringBuilder& s, const char* driver, double sector1, double sector2) {
  HostVehicle& v = s.addVehicle(driver, static_cast<uint8_t>(s.vehicles().size() + 1));
  v.sector = 0;
  v.currentSector1 = sector1;
  v.currentSector2 = sector2;
  return v;
}

void makePlayer(HostVehicle& v) {
  v.isPlayer = 1;
  v.control = 1;
}

class SectorRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&r, 0, sizeof r);
    resetSectorRecords(r);
  }
  void update(ScoringBuilder& s) {
    const HostScoring& record = *s.record();
    for (int i = 0; i < record.vehicleCount; ++i) sampleSectorRecords(r, record.vehicles[i]);
  }
  void expectNothingRecorded() const {
    for (int slot = 0; slot < 3; ++slot) {
      EXPECT_EQ(r.recordTime[slot], -1.0f) << slot;
      EXPECT_STREQ(r.recordHolder[slot], "") << slot;
      EXPECT_EQ(r.playerRecordTime[slot], -1.0f) << slot;
    }
  }

  AbsoluteSectorTimes r;
};

TEST_F(SectorRecordsTest, TheThirdSectorIsTheCompletedLapLessItsFirstTwo) {
  ScoringBuilder s;
  inFirstSector(s, "Ann", 95.0, 62.5);
  update(s);
  EXPECT_EQ(r.recordTime[kThird], 32.5f);
  EXPECT_STREQ(r.recordHolder[kThird], "Ann");
  EXPECT_EQ(r.recordTime[kFirst], -1.0f);
  EXPECT_EQ(r.recordTime[kSecond], -1.0f);
  EXPECT_EQ(r.playerRecordTime[kThird], -1.0f);

  ScoringBuilder equal;
  inFirstSector(equal, "Bob", 94.0, 61.5);
  update(equal);
  EXPECT_EQ(r.recordTime[kThird], 32.5f);
  EXPECT_STREQ(r.recordHolder[kThird], "Ann");

  // 95.1 - 62.6 is a hair under 32.5 as a double but 32.5 as a float: the
  // narrowed value is compared, so it is no improvement either.
  ScoringBuilder rounding;
  inFirstSector(rounding, "Cid", 95.1, 62.6);
  ASSERT_LT(95.1 - 62.6, 32.5);
  update(rounding);
  EXPECT_STREQ(r.recordHolder[kThird], "Ann");

  ScoringBuilder faster;
  inFirstSector(faster, "Dee", 94.9, 62.5);
  update(faster);
  EXPECT_EQ(r.recordTime[kThird], static_cast<float>(94.9 - 62.5));
  EXPECT_STREQ(r.recordHolder[kThird], "Dee");
}

TEST_F(SectorRecordsTest, EachSectorCodeOffersItsOwnSlot) {
  ScoringBuilder s;
  inSecondSector(s, "Ann", 30.1);
  inThirdSector(s, "Bob", 29.0, 60.0);
  update(s);
  EXPECT_EQ(r.recordTime[kFirst], 30.1f);
  EXPECT_STREQ(r.recordHolder[kFirst], "Ann");
  EXPECT_EQ(r.recordTime[kSecond], 31.0f);
  EXPECT_STREQ(r.recordHolder[kSecond], "Bob");
  EXPECT_EQ(r.recordTime[kThird], -1.0f);
}

TEST_F(SectorRecordsTest, MissingOrNegativeTimesAndOtherSectorCodesRecordNothing) {
  ScoringBuilder s;
  inFirstSector(s, "NoLap", -1.0, 62.5);
  inFirstSector(s, "ZeroLap", 0.0, 62.5);
  inFirstSector(s, "NoSplit", 95.0, 0.0);
  inFirstSector(s, "Backwards", 60.0, 62.5);
  inSecondSector(s, "NoFirst", 0.0);
  inThirdSector(s, "NoSecond", 29.0, -1.0);
  inThirdSector(s, "NoFirstYet", -1.0, 60.0);
  inThirdSector(s, "Behind", 31.0, 30.0);
  inFirstSector(s, "Tiny", 1.5e-45, 1.0e-45);  // positive only until narrowed
  for (int8_t code : {-1, 3, 4, 127}) {
    HostVehicle& v = s.addVehicle("Odd", 20);
    v.sector = code;
    v.lastLapTime = 95.0;
    v.lastSector2 = 62.5;
    v.currentSector1 = 30.0;
    v.currentSector2 = 60.0;
    makePlayer(v);
  }
  update(s);
  expectNothingRecorded();
}

TEST_F(SectorRecordsTest, ValuesThatAreNotNumbersRecordNothing) {
  ScoringBuilder s;
  inFirstSector(s, "A", kInf, 62.5);
  inFirstSector(s, "B", 95.0, kNaN);
  inFirstSector(s, "C", 1e300, 62.5);  // more than a float holds
  inSecondSector(s, "D", kNaN);
  inSecondSector(s, "E", kInf);
  inSecondSector(s, "F", 1e-60);  // 0 as a float
  inThirdSector(s, "G", kNaN, 60.0);
  inThirdSector(s, "H", 30.0, kInf);
  for (HostVehicle& v : s.vehicles()) makePlayer(v);
  update(s);
  expectNothingRecorded();
}

TEST_F(SectorRecordsTest, TheEarlierOfTwoEqualTimesInOneUpdateHoldsTheRecord) {
  ScoringBuilder s;
  inSecondSector(s, "First", 30.0);
  inSecondSector(s, "Second", 30.0);
  update(s);
  EXPECT_STREQ(r.recordHolder[kFirst], "First");
}

TEST_F(SectorRecordsTest, ThePlayerRecordsAreKeptApartFromTheOverallOnes) {
  ScoringBuilder seed;
  inSecondSector(seed, "Fast", 29.8);
  makePlayer(inSecondSector(seed, "Me", 30.5));
  update(seed);
  ASSERT_EQ(r.recordTime[kFirst], 29.8f);
  ASSERT_EQ(r.playerRecordTime[kFirst], 30.5f);

  ScoringBuilder s;
  makePlayer(inSecondSector(s, "Me", 30.1));
  update(s);
  EXPECT_EQ(r.recordTime[kFirst], 29.8f);
  EXPECT_STREQ(r.recordHolder[kFirst], "Fast");
  EXPECT_EQ(r.playerRecordTime[kFirst], 30.1f);

  // Someone else beating the player's record changes only the overall one,
  // and so does a car flagged as the player's but not under its control.
  ScoringBuilder others;
  inSecondSector(others, "Faster", 29.0);
  HostVehicle& ghost = inSecondSector(others, "Ghost", 28.0);
  ghost.isPlayer = 1;
  ghost.control = 2;
  update(others);
  EXPECT_EQ(r.recordTime[kFirst], 28.0f);
  EXPECT_STREQ(r.recordHolder[kFirst], "Ghost");
  EXPECT_EQ(r.playerRecordTime[kFirst], 30.1f);

  // The player's record improves without touching a better overall record.
  ScoringBuilder again;
  inThirdSector(again, "Fast", 29.0, 60.0);
  makePlayer(inThirdSector(again, "Me", 30.0, 62.0));
  update(again);
  EXPECT_EQ(r.playerRecordTime[kSecond], 32.0f);
  EXPECT_EQ(r.recordTime[kSecond], 31.0f);
  EXPECT_STREQ(r.recordHolder[kSecond], "Fast");
}

TEST_F(SectorRecordsTest, HolderNamesAreCutToTheirFieldAndTerminated) {
  std::memset(r.recordHolder, 'Z', sizeof r.recordHolder);
  ScoringBuilder s;
  HostVehicle& v = inSecondSector(s, "x", 30.0);
  std::memset(v.driverName, 'L', sizeof v.driverName);
  update(s);
  EXPECT_EQ(std::string(r.recordHolder[kFirst]), std::string(31, 'L'));

  ScoringBuilder shorter;
  inSecondSector(shorter, "Al", 29.0);
  update(shorter);
  EXPECT_STREQ(r.recordHolder[kFirst], "Al");
  for (int i = 2; i < 32; ++i) ASSERT_EQ(r.recordHolder[kFirst][i], 0) << i;
}

TEST_F(SectorRecordsTest, ResetEmptiesTheRecordsButNotTheReservedBytes) {
  ScoringBuilder s;
  makePlayer(inSecondSector(s, "Ann", 30.0));
  inFirstSector(s, "Bob", 95.0, 62.5);
  inThirdSector(s, "Cid", 29.0, 60.0);
  update(s);
  r.earlyTimesSeen = 1;
  std::memset(r.reserved96, 0x33, sizeof r.reserved96);
  std::memset(r.reserved217, 0x44, sizeof r.reserved217);

  resetSectorRecords(r);
  expectNothingRecorded();
  EXPECT_EQ(r.earlyTimesSeen, 0);
  EXPECT_EQ(r.reserved96[0], 0x33);
  EXPECT_EQ(r.reserved96[95], 0x33);
  EXPECT_EQ(r.reserved217[2], 0x44);
}

}  // namespace
}  // namespace korvanel

// Gaps within the class group and to the player's car.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "scoring/gaps.h"
#include "scoring/scoring_test_support.h"

namespace korvanel {
namespace {

using testing::ScoringRig;

constexpr float kUnset = 99.0f;

// A block of `n` entries straight from the given intervals and progress,
// with every gap field holding a marker that shows whether it was written.
void setEntries(ScoringRig& rig, const std::vector<double>& behindNext,
                const std::vector<float>& progress) {
  rig.block->vehicleCount = static_cast<int32_t>(behindNext.size());
  for (size_t i = 0; i < behindNext.size(); ++i) {
    VehicleInfoV2& e = rig.entry(static_cast<int>(i));
    e.host.timeBehindNext = behindNext[i];
    e.lapProgress = progress[i];
    e.inClassGroup = 0;
    e.classPosition = 0;
    e.timeBehindClassAhead = e.lapDiffToClassAhead = kUnset;
    e.timeBehindClassLeader = e.lapDiffToClassLeader = kUnset;
    e.timeGapToPlayer = e.lapGapToPlayer = kUnset;
  }
}

void makeMember(ScoringRig& rig, int i, int32_t position) {
  rig.entry(i).inClassGroup = 1;
  rig.entry(i).classPosition = position;
}

TEST(ClassGaps, MembersMeasureAcrossNonMembers) {
  ScoringRig rig;
  setEntries(rig, {0.0, 1.0, 2.0, 3.0}, {5.9f, 5.8f, 5.7f, 5.6f});
  makeMember(rig, 1, 1);
  makeMember(rig, 3, 2);
  computeClassGaps(*rig.block);
  const VehicleInfoV2& leader = rig.entry(1);
  EXPECT_EQ(leader.timeBehindClassAhead, 0.0f);
  EXPECT_EQ(leader.lapDiffToClassAhead, 0.0f);
  EXPECT_EQ(leader.timeBehindClassLeader, 0.0f);
  EXPECT_EQ(leader.lapDiffToClassLeader, 0.0f);
  const VehicleInfoV2& last = rig.entry(3);
  EXPECT_EQ(last.timeBehindClassAhead, 5.0f);
  EXPECT_EQ(last.timeBehindClassLeader, 5.0f);
  EXPECT_NEAR(last.lapDiffToClassAhead, -0.2f, 1e-5f);
  EXPECT_NEAR(last.lapDiffToClassLeader, -0.2f, 1e-5f);
  for (int outside : {0, 2}) {
    EXPECT_EQ(rig.entry(outside).timeBehindClassAhead, kUnset);
    EXPECT_EQ(rig.entry(outside).lapDiffToClassLeader, kUnset);
  }
}

TEST(ClassGaps, RowZeroMeasuresEveryCarAgainstTheOneAheadAndTheLeader) {
  ScoringRig rig;
  const double behind[] = {0.0, 1.25, 0.5, 2.0};
  const double distance[] = {4000.0, 3000.0, 2500.0, 500.0};
  for (int i = 0; i < 4; ++i) {
    HostVehicle& v = rig.host.addVehicle("car", static_cast<uint8_t>(i + 1));
    v.timeBehindNext = behind[i];
    v.lapsCompleted = 7;
    v.lapDistance = distance[i];
  }
  rig.update();
  float leaderSum = 0.0f;
  for (int i = 1; i < 4; ++i) {
    leaderSum += static_cast<float>(behind[i]);
    const VehicleInfoV2& e = rig.entry(i);
    EXPECT_EQ(e.timeBehindClassAhead, static_cast<float>(behind[i])) << i;
    EXPECT_EQ(e.timeBehindClassLeader, leaderSum) << i;
    EXPECT_EQ(e.lapDiffToClassAhead, e.lapProgress - rig.entry(i - 1).lapProgress) << i;
    EXPECT_EQ(e.lapDiffToClassLeader, e.lapProgress - rig.entry(0).lapProgress) << i;
  }
  EXPECT_NEAR(rig.entry(3).lapDiffToClassLeader, -0.7f, 1e-5f);
  EXPECT_EQ(rig.entry(0).timeBehindClassLeader, 0.0f);
}

TEST(ClassGaps, SumsRoundToFloatAtEveryStep) {
  // Ten steps of 0.1: a float sum rounded at each step ends just above 1,
  // where the double sum rounded once would give exactly 1.
  ScoringRig rig;
  std::vector<double> behind(11, 0.1);
  behind[0] = 0.0;
  setEntries(rig, behind, std::vector<float>(11, 3.0f));
  for (int i = 0; i < 11; ++i) makeMember(rig, i, i + 1);
  rig.block->playerIndex = 0;
  computeClassGaps(*rig.block);
  EXPECT_EQ(rig.entry(10).timeBehindClassLeader, 1.0000001192092896f);
  computePlayerGaps(*rig.block);
  EXPECT_EQ(rig.entry(10).timeGapToPlayer, 1.0000001192092896f);
  rig.block->playerIndex = 10;
  computePlayerGaps(*rig.block);
  EXPECT_EQ(rig.entry(0).timeGapToPlayer, -1.0000001192092896f);
}

TEST(ClassGaps, MemberBeforeAnyLeaderHasNoLapReference) {
  // Keeping race positions when nobody reports place 1: no leader at all.
  ScoringRig rig;
  rig.host.addVehicle("a", 2).timeBehindNext = 4.0;
  rig.host.addVehicle("b", 3).timeBehindNext = 1.5;
  rig.host.vehicles()[1].lapsCompleted = 1;
  rig.update();
  const VehicleInfoV2& first = rig.entry(0);
  EXPECT_EQ(first.classPosition, 2);
  EXPECT_EQ(first.lapDiffToClassAhead, 0.0f);
  EXPECT_EQ(first.lapDiffToClassLeader, 0.0f);
  EXPECT_EQ(first.timeBehindClassAhead, 0.0f);
  const VehicleInfoV2& second = rig.entry(1);
  EXPECT_EQ(second.timeBehindClassAhead, 1.5f);
  EXPECT_EQ(second.lapDiffToClassAhead, 1.0f);
  EXPECT_EQ(second.timeBehindClassLeader, 1.5f);  // summed from entry 1, no leader
  EXPECT_EQ(second.lapDiffToClassLeader, 0.0f);
  EXPECT_EQ(rig.block->classLeaderIndex, -1);
}

TEST(PlayerGaps, SameLapCarsGetTimes) {
  ScoringRig rig;
  setEntries(rig, {0.0, 1.5, 2.0}, {4.5f, 4.4f, 4.3f});
  rig.block->playerIndex = 1;
  computePlayerGaps(*rig.block);
  EXPECT_EQ(rig.entry(0).timeGapToPlayer, -1.5f);
  EXPECT_EQ(rig.entry(0).lapGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(2).timeGapToPlayer, 2.0f);
  EXPECT_EQ(rig.entry(2).lapGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(1).timeGapToPlayer, 0.0f);  // the player's own entry, never stale
  EXPECT_EQ(rig.entry(1).lapGapToPlayer, 0.0f);
}

TEST(PlayerGaps, LappedCarsGetLapsAndDoNotCountInTheSums) {
  ScoringRig rig;
  // Ahead: 1.7 laps, exactly 1 lap, 0.99 laps; behind: 0.5 laps, 2.25 laps,
  // then a car on the player's lap again.
  setEntries(rig, {0.0, 10.0, 20.0, 0.75, 3.0, 30.0, 4.0},
             {6.7f, 6.0f, 5.99f, 5.0f, 4.5f, 2.75f, 4.25f});
  rig.block->playerIndex = 3;
  computePlayerGaps(*rig.block);
  EXPECT_EQ(rig.entry(2).timeGapToPlayer, -0.75f);
  EXPECT_EQ(rig.entry(2).lapGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(1).lapGapToPlayer, -1.0f);
  EXPECT_EQ(rig.entry(1).timeGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(0).lapGapToPlayer, -1.0f);  // whole laps ahead
  EXPECT_EQ(rig.entry(0).timeGapToPlayer, 0.0f);

  EXPECT_EQ(rig.entry(4).timeGapToPlayer, 3.0f);
  EXPECT_EQ(rig.entry(5).lapGapToPlayer, 2.25f);  // the fraction stays behind
  EXPECT_EQ(rig.entry(5).timeGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(6).timeGapToPlayer, 7.0f);  // 3 + 4, the lapped car skipped
  EXPECT_EQ(rig.entry(6).lapGapToPlayer, 0.0f);
}

TEST(PlayerGaps, OnlyThePlayerCounted) {
  ScoringRig rig;
  setEntries(rig, {0.0}, {2.0f});
  rig.block->playerIndex = 0;
  computePlayerGaps(*rig.block);
  EXPECT_EQ(rig.entry(0).timeGapToPlayer, 0.0f);
  EXPECT_EQ(rig.entry(0).lapGapToPlayer, 0.0f);
}

TEST(PlayerGaps, NoPlayerWritesNothing) {
  ScoringRig rig;
  setEntries(rig, {0.0, 1.0, 2.0}, {1.0f, 1.0f, 1.0f});
  rig.block->playerIndex = -1;
  computePlayerGaps(*rig.block);
  // A stale index beyond the counted entries is no player either.
  rig.block->playerIndex = 7;
  computePlayerGaps(*rig.block);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.entry(i).timeGapToPlayer, kUnset);
    EXPECT_EQ(rig.entry(i).lapGapToPlayer, kUnset);
  }
}

TEST(Gaps, NonFiniteIntervalsFlowThroughWithoutTrouble) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  ScoringRig rig;
  setEntries(rig, {0.0, nan, 1.0, 2.0}, {inf, 3.0f, std::nanf(""), 3.0f});
  for (int i = 0; i < 4; ++i) makeMember(rig, i, i + 1);
  rig.block->playerIndex = 1;
  computeClassGaps(*rig.block);
  computePlayerGaps(*rig.block);
  EXPECT_TRUE(std::isnan(rig.entry(1).timeBehindClassAhead));
  EXPECT_TRUE(std::isnan(rig.entry(3).timeBehindClassLeader));  // NaN stays in the sum
  EXPECT_EQ(rig.entry(3).timeBehindClassAhead, 2.0f);           // restarted after a member
  EXPECT_EQ(rig.entry(0).lapGapToPlayer, -inf);  // an infinite lead is infinitely many laps
  EXPECT_EQ(rig.entry(2).lapGapToPlayer, 0.0f);  // NaN is not a lap or more
  EXPECT_EQ(rig.entry(2).timeGapToPlayer, 1.0f);
}

}  // namespace
}  // namespace korvanel

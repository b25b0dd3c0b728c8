// Class grouping by the selected row's patterns, and team marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scoring/class_pattern.h"
#include "scoring/scoring_test_support.h"
#include "scoring/team_marking.h"

namespace korvanel {
namespace {

using testing::ScoringRig;

std::vector<int> positions(ScoringRig& rig) {
  std::vector<int> out;
  for (int i = 0; i < countedVehicles(*rig.block); ++i) {
    out.push_back(rig.entry(i).inClassGroup ? rig.entry(i).classPosition : -1);
  }
  return out;
}

TEST(ClassGrouping, RowZeroTakesEveryCarAtItsPlace) {
  ScoringRig rig;
  rig.host.addVehicle("c", 3);
  rig.host.addVehicle("a", 1);
  rig.host.addVehicle("b", 2);
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(rig.block->noClassGroup, 0);
  EXPECT_EQ(rig.block->classLeaderIndex, 0);
  EXPECT_EQ(rig.entry(0).previousGroupMember, -1);
  EXPECT_EQ(rig.entry(1).previousGroupMember, 0);
  EXPECT_EQ(rig.entry(2).previousGroupMember, 1);
}

TEST(ClassGrouping, MembersAreNumberedInRaceOrderWhateverPatternMatched) {
  ScoringRig rig;
  rig.setRow(1, "GT", "GT3", "#GT4");
  rig.selectedRow = 1;
  rig.host.addVehicle("a", 1, "LMP1");
  rig.host.addVehicle("b", 2, "gt3");
  rig.host.addVehicle("c", 3, "GT4 Cup");
  rig.host.addVehicle("d", 4, "GT3");
  rig.host.addVehicle("e", 5, "Cup");
  rig.host.addVehicle("f", 6, "gt4");
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{-1, 1, 2, 3, -1, 4}));
  EXPECT_EQ(rig.block->classLeaderIndex, 1);
  EXPECT_EQ(rig.entry(1).previousGroupMember, -1);
  EXPECT_EQ(rig.entry(2).previousGroupMember, 1);
  EXPECT_EQ(rig.entry(3).previousGroupMember, 2);
  EXPECT_EQ(rig.entry(5).previousGroupMember, 3);
  EXPECT_EQ(rig.block->noClassGroup, 0);
}

TEST(ClassGrouping, NumberedAndPlaceKeepingMembersMix) {
  // "*" keeps the race position without advancing the numbering, so a
  // numbered member can also be position 1, and the last one wins the lead.
  ScoringRig rig;
  rig.setRow(1, "mix", "LMP", "*");
  rig.selectedRow = 1;
  rig.host.addVehicle("a", 1, "GT3");
  rig.host.addVehicle("b", 2, "LMP");
  rig.host.addVehicle("c", 3, "GT3");
  rig.host.addVehicle("d", 4, "LMP");
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{1, 1, 3, 2}));
  EXPECT_EQ(rig.block->classLeaderIndex, 1);
}

struct PatternCase {
  const char* pattern;
  const char* driver;
  const char* vehicleClass;
  bool member;
};

TEST(ClassPattern, EveryFormAndItsFallThrough) {
  const PatternCase cases[] = {
      {"*", "anyone", "anything", true},
      {"GT3", "x", "gt3", true},
      {"GT3", "x", "GT3 Cup", false},
      {"#GT4", "x", "gt4 cup", true},
      {"#GT4", "x", "GT3", false},
      {"#", "x", "", true},  // the empty text is in every name
      {"$#SMI", "John Smith", "GT3", true},
      {"$#SMI", "SMIRNOV", "GT3", true},
      {"$#SMI", "Jones", "GT3", false},
      {"$#", "x", "GT3", true},
      {"$JANE DOE", "jane doe", "GT3", true},
      {"$JANE DOE", "Jane Doe-Smith", "GT3", false},
      // A failed "$" test is still compared whole with the class name.
      {"$GT3", "nobody", "$gt3", true},
      // A failed "$#" substring test compares the rest whole with the driver
      // name, then the whole pattern with the class.
      {"$#X", "#x", "GT3", true},
      {"$#X", "y", "$#x", true},
      {"$#X", "y", "#X", false},
      // Without a player, "@" is only a class name.
      {"@", "x", "@", true},
      {"@", "x", "GT3", false},
      // A class-name pattern never looks at the driver.
      {"JANE", "jane", "GT3", false},
  };
  for (const PatternCase& c : cases) {
    ScoringRig rig;
    rig.host.addVehicle(c.driver, 1, c.vehicleClass);
    rig.fill();
    bool member = matchPattern(c.pattern, rig.entry(0), nullptr) != PatternMatch::kNone;
    EXPECT_EQ(member, c.member) << c.pattern << " / " << c.driver << " / " << c.vehicleClass;
  }
}

TEST(ClassGrouping, AtPatternTakesThePlayersClass) {
  ScoringRig rig;
  rig.setRow(1, "mine", "@");
  rig.selectedRow = 1;
  rig.host.addVehicle("a", 1, "LMP");
  rig.host.addVehicle("b", 2, "gt3");
  ScoringRig::makePlayer(rig.host.addVehicle("me", 3, "GT3"));
  rig.host.addVehicle("d", 4, "@");
  rig.host.addVehicle("e", 5, "Gt3");
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{-1, 1, 2, 3, 4}));  // "@" still names a class
  EXPECT_EQ(rig.block->playerIndex, 2);
  EXPECT_EQ(rig.block->playerPlace, 3);
  EXPECT_EQ(rig.block->playerClassPosition, 2);
}

TEST(ClassGrouping, FirstMatchingPatternDecidesAndANullSlotEndsTheRow) {
  ScoringRig rig;
  rig.setRow(1, "gap", "LMP");
  rig.config.classRows[1][3] = "*";  // behind the empty slot 2: never read
  rig.setRow(2, "full", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N",
             "GT3");
  rig.host.addVehicle("a", 1, "GT3");
  rig.host.addVehicle("b", 2, "LMP");
  rig.selectedRow = 1;
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{-1, 1}));
  rig.selectedRow = 2;  // a full row ends after slot 15
  rig.update();
  EXPECT_EQ(positions(rig), (std::vector<int>{1, -1}));
}

TEST(ClassGrouping, EmptyGroupLeavesGapsAlone) {
  ScoringRig rig;
  rig.setRow(1, "GT3");  // a label alone: the label is never a pattern
  rig.setRow(2, "none", "LMP", "#PROTO");
  rig.host.addVehicle("a", 1, "GT3");
  ScoringRig::makePlayer(rig.host.addVehicle("b", 2, "GT3"));
  for (int row : {1, 2, 3}) {
    rig.fill();
    for (int i = 0; i < 2; ++i) {
      rig.entry(i).timeBehindClassAhead = 99.0f;
      rig.entry(i).timeGapToPlayer = 99.0f;
      rig.entry(i).previousGroupMember = 42;
    }
    rig.selectedRow = row;
    rig.analyse();
    EXPECT_EQ(rig.block->noClassGroup, 1) << row;
    EXPECT_EQ(rig.block->classLeaderIndex, -1);
    EXPECT_EQ(rig.block->playerClassPosition, 0);  // the player is outside
    EXPECT_EQ(positions(rig), (std::vector<int>{-1, -1}));
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(rig.entry(i).timeBehindClassAhead, 99.0f);
      EXPECT_EQ(rig.entry(i).timeGapToPlayer, 99.0f);
      EXPECT_EQ(rig.entry(i).previousGroupMember, 42);
    }
  }
}

TEST(ClassGrouping, RowsBeyondTheTableHaveNoPatterns) {
  ScoringRig rig;
  for (int row = 0; row < kClassRows; ++row) rig.setRow(row, "all", "*");
  rig.host.addVehicle("a", 1);
  for (int row : {22, 23, 255, -1}) {
    rig.selectedRow = row;
    rig.update();
    EXPECT_EQ(rig.block->noClassGroup, 1) << row;
    EXPECT_EQ(rig.entry(0).inClassGroup, 0);
  }
  rig.selectedRow = 21;
  rig.update();
  EXPECT_EQ(rig.block->noClassGroup, 0);
}

TEST(PlayerSearch, OnlyPlayersInControlCountAndTheLastOneWins) {
  ScoringRig rig;
  HostVehicle& ai = rig.host.addVehicle("a", 1);
  ai.isPlayer = 1;
  ai.control = 2;  // the computer drives the player's car
  HostVehicle& negative = rig.host.addVehicle("b", 2);
  negative.isPlayer = 1;
  negative.control = -1;
  rig.update();
  EXPECT_EQ(rig.block->playerIndex, -1);
  EXPECT_EQ(rig.block->playerPlace, 1000);
  EXPECT_EQ(rig.block->playerClassPosition, 1000);

  HostVehicle& first = rig.host.addVehicle("c", 3);
  first.isPlayer = 1;
  first.control = 1;
  ScoringRig::makePlayer(rig.host.addVehicle("d", 4));
  rig.update();
  EXPECT_EQ(rig.block->playerIndex, 3);
  EXPECT_EQ(rig.block->playerPlace, 4);
  EXPECT_EQ(rig.block->playerClassPosition, 4);
}

class TeamMarking : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.config.teamMembers = {"jane doe", "MAX", ""};
    rig.host.addVehicle("Jane Doe", 1);
    rig.host.addVehicle("Maxine", 2);
    rig.host.addVehicle("max", 3);
  }
  std::vector<int> marks() {
    std::vector<int> out;
    for (int i = 0; i < 3; ++i) out.push_back(rig.entry(i).teamMember);
    return out;
  }
  ScoringRig rig;
};

TEST_F(TeamMarking, WithoutAPlayerTeamMembersAreMarked) {
  rig.update();
  EXPECT_EQ(marks(), (std::vector<int>{1, 0, 1}));
}

TEST_F(TeamMarking, WhileThePlayerDrivesOnlyInRealtimeMode) {
  ScoringRig::makePlayer(rig.host.vehicles()[1]);
  rig.update();
  for (int i = 0; i < 3; ++i) rig.entry(i).teamMember = 1;
  markTeamMembers(*rig.block, rig.config, nullptr, nullptr);
  EXPECT_EQ(marks(), (std::vector<int>{0, 0, 0}));

  rig.config.realtimeMode = true;
  rig.update();
  EXPECT_EQ(marks(), (std::vector<int>{1, 0, 1}));
}

TEST_F(TeamMarking, AnEmptyListNameMarksOnlyAnEmptyDriverName) {
  rig.host.addVehicle("", 4);
  rig.update();
  EXPECT_EQ(rig.entry(3).teamMember, 1);
  EXPECT_EQ(marks(), (std::vector<int>{1, 0, 1}));
}

TEST_F(TeamMarking, LongListsAndOddNamesMatchAsTexts) {
  // Twenty names: beyond the first sixteen, and after a name with a NUL
  // inside or one longer than the driver field, names still count.
  rig.config.teamMembers.assign(18, "nobody");
  rig.config.teamMembers.push_back(std::string("mAxInE"));
  rig.config.teamMembers.push_back(std::string(40, 'J'));
  rig.config.teamMembers[2] = std::string("jane doe\0x", 10);
  rig.update();
  EXPECT_EQ(marks(), (std::vector<int>{1, 1, 0}));
}

}  // namespace
}  // namespace korvanel

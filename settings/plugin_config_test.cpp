// Loading the configuration file: team list, class rows, KERS time, and
// what the log says about them.
#include "settings/plugin_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/plugin_log.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

constexpr const char* kPath = "Plugins\\KORVANEL\\korvanelconf.txt";
constexpr const char* kFile = "Plugins/KORVANEL/korvanelconf.txt";

class PluginConfigTest : public ::testing::Test {
 protected:
  void load(const std::string& contents) {
    folder_.writeFile(kFile, contents);
    config_.load(kPath, nullptr);
  }
  std::string row(int r) const {
    std::string out;
    for (int s = 0; s < kClassSlots && config_.classRows[r][s]; ++s) {
      out += (s ? "|" : "");
      out += config_.classRows[r][s];
    }
    return out;
  }

  testing::ScratchFolder folder_;
  PluginConfig config_;
};

TEST_F(PluginConfigTest, MissingFileGivesDefaults) {
  config_.load(kPath, nullptr);
  EXPECT_TRUE(config_.teamMembers.empty());
  EXPECT_FALSE(config_.realtimeMode);
  EXPECT_TRUE(config_.sharedBlockEnabled);
  EXPECT_FLOAT_EQ(config_.kersTime, 6.7f);
  EXPECT_EQ(row(0), "ALL|*");
  for (int r = 1; r < kClassRows; ++r) EXPECT_EQ(row(r), "") << r;
  EXPECT_STREQ(config_.configPath, kPath);
}

TEST_F(PluginConfigTest, RowsArePackedInKeyOrderAndUpperCased) {
  load("[HUD]\nGrid_Classes5=GT,gt3,#rs\n");
  EXPECT_EQ(row(1), "GT|GT3|#RS");
  EXPECT_EQ(row(2), "");

  load("[hud]\ngrid_classes0=Zero,a\nGrid_Classes1=\nGrid_Classes2=Prototypes,lmp1\n");
  EXPECT_EQ(row(1), "Zero|A");
  EXPECT_EQ(row(2), "Prototypes|LMP1");
  EXPECT_EQ(row(3), "");
}

TEST_F(PluginConfigTest, SeparatorsOnlyUseARowAndBlankTokensAreSkipped) {
  load("[HUD]\nGrid_Classes1=,;,\nGrid_Classes2= \t, Open Wheel ,f1\n");
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(row(2), "Open Wheel|F1");
}

TEST_F(PluginConfigTest, RowKeepsTheFirstSixteenTokens) {
  std::string value = "Label";
  for (int i = 1; i < 20; ++i) value += ",c" + std::to_string(i);
  load("[HUD]\nGrid_Classes3=" + value + "\n");
  EXPECT_EQ(config_.classRows[1][0], std::string("Label"));
  EXPECT_EQ(config_.classRows[1][15], std::string("C15"));
  EXPECT_EQ(config_.pattern(1, 16), nullptr);
  EXPECT_EQ(config_.pattern(22, 1), nullptr);
  EXPECT_EQ(config_.pattern(255, 1), nullptr);
}

TEST_F(PluginConfigTest, TeamMembersAreTrimmedAndTheRealtimeTokenIsASwitch) {
  load("[GENERAL]\nTeamMembers= Jane Doe ;  John Smith,$$realtime_mode$$\n");
  ASSERT_EQ(config_.teamMembers.size(), 2u);
  EXPECT_EQ(config_.teamMembers[0], "Jane Doe");
  EXPECT_EQ(config_.teamMembers[1], "John Smith");
  EXPECT_TRUE(config_.realtimeMode);

  load("[GENERAL]\nTeamMembers=Ann,   ,Bob\n");
  ASSERT_EQ(config_.teamMembers.size(), 3u);
  EXPECT_EQ(config_.teamMembers[1], "");
  EXPECT_FALSE(config_.realtimeMode);
}

TEST_F(PluginConfigTest, KersTimeReadsLikeAtof) {
  load("[HUD]\nKersTime=fast\n");
  EXPECT_FLOAT_EQ(config_.kersTime, 0.0f);
  load("[HUD]\nKersTime=7.5s\n");
  EXPECT_FLOAT_EQ(config_.kersTime, 7.5f);
  load("[HUD]\nKersTime = 8 \n");
  EXPECT_FLOAT_EQ(config_.kersTime, 8.0f);
}

TEST_F(PluginConfigTest, LogShowsPathKeysAndKersTime) {
  folder_.writeFile(kFile, "[HUD]\nGrid_Classes3=GT,gt3\nKersTime=6.7\n");
  {
    PluginLog log("Plugins\\KORVANEL\\test.log.txt");
    config_.load(kPath, &log);
  }
  std::string text = folder_.readFile("Plugins/KORVANEL/test.log.txt");
  EXPECT_NE(text.find("Configuration File: Plugins\\KORVANEL\\korvanelconf.txt"),
            std::string::npos);
  EXPECT_NE(text.find("keyClass Grid_Classes3"), std::string::npos);
  EXPECT_NE(text.find("HUD.KersTime 6.700000"), std::string::npos) << text;
}

TEST_F(PluginConfigTest, HostileFilesNeverBreakLoading) {
  // Binary bytes, a NUL in the middle, a value far over 259 characters and
  // a huge file.
  std::string binary = "[HUD]\nGrid_Classes1=A";
  binary += std::string(1, '\0') + "\xff\xfe\x01\n";
  load(binary);
  EXPECT_EQ(config_.classRows[1][0], std::string("A"));

  std::string longValue(5000, 'x');
  load("[GENERAL]\nTeamMembers=" + longValue + "\n[HUD]\nGrid_Classes1=L," + longValue + "\n");
  ASSERT_EQ(config_.teamMembers.size(), 1u);
  EXPECT_EQ(config_.teamMembers[0].size(), 259u);
  EXPECT_EQ(std::string(config_.classRows[1][1]).size(), 257u);

  std::string huge;  // nearly as large as a configuration may be
  for (int i = 0; i < 70000; ++i) huge += "[S" + std::to_string(i) + "]\nk=v\n";
  load(huge + "[HUD]\nKersTime=3\n");
  EXPECT_FLOAT_EQ(config_.kersTime, 3.0f);

  load("");
  EXPECT_FLOAT_EQ(config_.kersTime, 6.7f);
}

// Files a user's machine may hold: one far over the limit is refused at
// once with a log line, UTF-16 (as some editors save) is read, and a
// KersTime no countdown can use is clamped and logged.
TEST_F(PluginConfigTest, OversizedUtf16AndOutOfRangeFilesAreHandledAndLogged) {
  auto loadLogged = [&](const std::string& contents) {
    folder_.writeFile(kFile, contents);
    {
      PluginLog log("Plugins\\KORVANEL\\test.log.txt");
      config_.load(kPath, &log);
    }
    return folder_.readFile("Plugins/KORVANEL/test.log.txt");
  };
  const std::string end = testing::textLineEnd();

  // 50 MB, sparse, with a value at its start that must not be taken.
  folder_.writeFile(kFile, "[HUD]\nKersTime=9\n");
  std::filesystem::resize_file(folder_.path() / kFile, 50u << 20);
  auto start = std::chrono::steady_clock::now();
  {
    PluginLog log("Plugins\\KORVANEL\\test.log.txt");
    config_.load(kPath, &log);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FLOAT_EQ(config_.kersTime, 6.7f);
  EXPECT_NE(
      folder_.readFile("Plugins/KORVANEL/test.log.txt")
          .find("ERROR Configuration File larger than the limit, defaults used: 1048576" + end),
      std::string::npos);

  std::string utf16 = "\xff\xfe";
  for (char c : std::string("[HUD]\r\nGrid_Classes2=GT,gt3\r\nKersTime=8\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  loadLogged(utf16);
  EXPECT_FLOAT_EQ(config_.kersTime, 8.0f);
  EXPECT_EQ(row(1), "GT|GT3");

  std::string log = loadLogged("[HUD]\nKersTime=1e39\n");
  EXPECT_FLOAT_EQ(config_.kersTime, 60.0f);
  EXPECT_NE(log.find(end + "ERROR HUD.KersTime out of range, clamped to 60.000000" + end),
            std::string::npos)
      << log;
  log = loadLogged("[HUD]\nKersTime=-5\n");
  EXPECT_FLOAT_EQ(config_.kersTime, 0.0f);
  EXPECT_NE(log.find("ERROR HUD.KersTime out of range, clamped to 0.000000"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace korvanel

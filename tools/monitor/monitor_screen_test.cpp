// What the monitor prints: a block written by someone hostile (names that
// carry terminal commands, times no race has), and a crowded race on an
// 80x24 terminal.
#include "tools/monitor/monitor_screen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <regex>
#include <sstream>
#include <vector>

#include "tools/engineer/race_engineer.h"
#include "tools/reader/snapshot_json.h"
#include "tools/reader/terminal_text.h"

namespace {

using namespace korvanel::tools;

// Retitles and clears a terminal that is given it raw.
const char kInjection[] = "\x1b]0;PWNED\x07\x1b[2J";

// Bytes a terminal may act on, other than the line breaks of the screen.
std::string controlsIn(const std::string& text) {
  std::string found;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if ((c < 0x20 && c != '\n') || c == 0x7F || c1 || c == 0x9B) found += std::to_string(c) + " ";
  }
  return found;
}

TEST(MonitorScreen, HostileNamesAndTimesPrintAsPlainText) {
  auto block = std::make_unique<KorvanelSharedBlock>();
  std::memset(block.get(), 0, sizeof *block);
  KorvanelScoringInfoV2& s = block->scoring;
  s.vehicleCount = 2;
  s.playerIndex = 0;
  s.noClassGroup = 1;
  s.currentTime = std::numeric_limits<double>::infinity();
  std::strcpy(s.trackName, kInjection);
  std::strcpy(s.vehicles[0].host.driverName, kInjection);
  std::strcpy(s.vehicles[1].host.driverName,
              "M\xc3\xbcller \xc2\x9b"
              "2J \x9b"
              "2J");
  s.vehicles[0].host.bestLapTime = 1e300;
  s.vehicles[1].host.bestLapTime = std::nan("");
  block->telemetry.estimatedLapTime = std::numeric_limits<float>::infinity();
  block->timeTable.fastestLapTime = 3e38f;
  std::strcpy(block->timeTable.fastestLapDriver, kInjection);
  std::strcpy(block->sectorTimes.recordHolder[0], "\x1b[31mred");
  block->sectorTimes.recordTime[0] = std::numeric_limits<float>::infinity();

  std::string screen = renderScreen(*block, ScreenStyle{false, 30});
  EXPECT_EQ("", controlsIn(screen)) << screen;
  // Through the race engineer too, whose names come from the block; it
  // takes no copy without a session clock.
  auto timed = std::make_unique<KorvanelSharedBlock>(*block);
  timed->scoring.currentTime = 100.0;
  timed->scoring.lapLength = 1000.0;
  timed->scoring.vehicles[1].host.lapDistance = 100.0;
  engineer::RaceEngineer raceEngineer;
  raceEngineer.observe(*timed, std::chrono::system_clock::now());
  std::string engineered =
      renderScreen(*timed, ScreenStyle{false, 30}, true, raceEngineer.view().get());
  EXPECT_NE(std::string::npos, engineered.find("Relative")) << engineered;
  EXPECT_EQ("", controlsIn(engineered)) << engineered;
  EXPECT_NE(std::string::npos, screen.find("?]0;PWNED??[2J")) << screen;
  EXPECT_NE(std::string::npos, screen.find("M\xc3\xbcller ?2J ?2J")) << "UTF-8 kept";
  EXPECT_EQ(std::string::npos, screen.find("-2147483648")) << screen;
  EXPECT_EQ("> 100 h", lapTimeText(1e300));
  EXPECT_EQ("> 100 h", lapTimeText(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("--", lapTimeText(std::nan("")));
  EXPECT_EQ("1:30.500", lapTimeText(90.5));

  // The JSON the monitor prints keeps the name as it is, escaped, and stays valid.
  SnapshotMeta meta;
  std::string text = snapshotText(snapshotJson(*block, meta), 1, true);
  EXPECT_EQ("", controlsIn(text));
  nlohmann::json parsed = nlohmann::json::parse(text);
  EXPECT_EQ(kInjection, parsed["vehicles"][0]["driverName"].get<std::string>());
}

// Characters of a line of printable UTF-8 without wide characters.
size_t columns(const std::string& line) {
  size_t n = 0;
  for (char c : line) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The part of `line` from character `from`, `count` characters long.
std::string characters(const std::string& line, size_t from, size_t count) {
  std::string out;
  size_t n = 0;
  for (char c : line) {
    bool lead = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (lead) ++n;
    if (n > from && n <= from + count) out += c;
  }
  return out;
}

TEST(MonitorScreen, CrowdedRaceFitsEightyByTwentyFourWithNamesPastAscii) {
  auto block = std::make_unique<KorvanelSharedBlock>();
  std::memset(block.get(), 0, sizeof *block);
  KorvanelScoringInfoV2& s = block->scoring;
  s.vehicleCount = 40;
  s.playerIndex = 29;
  s.playerPlace = 30;
  s.lapLength = 4000;
  std::strcpy(s.trackName, "Circuit de la Sarthe-Ardèche");
  for (int i = 0; i < s.vehicleCount; ++i) {
    KorvanelHostVehicle& v = s.vehicles[i].host;
    std::snprintf(v.driverName, sizeof v.driverName, "Zoë Ørsted %d", i + 1);
    std::strcpy(v.vehicleClass, i % 2 ? "GT3" : "Hypercar");
    v.place = static_cast<uint8_t>(i + 1);
    v.bestLapTime = 90.0 + i;
    v.lastLapTime = 91.0 + i;
    v.timeBehindLeader = i * 1.5;
    s.vehicles[i].timeGapToPlayer = static_cast<float>((i - 29) * 1.5);
  }
  std::strcpy(s.vehicles[29].host.driverName, "Anna-Lena Sørensen-Åberg");
  s.vehicles[28].teamMember = 1;
  s.vehicles[28].host.inPits = 1;
  s.vehicles[31].lapGapToPlayer = 1.4f;
  s.vehicles[31].host.lapsBehindLeader = 1;

  // Classes alternate: the player is the 15th of 20 GT3 cars, whatever
  // class row the plugin groups by.
  engineer::RaceEngineer raceEngineer;
  raceEngineer.observe(*block, std::chrono::system_clock::now());
  ScreenStyle style;
  style.colour = false;
  style.lines = 24;
  std::string screen = renderScreen(*block, style, true, raceEngineer.view().get());
  std::vector<std::string> lines;
  std::istringstream split(screen);
  for (std::string line; std::getline(split, line);) lines.push_back(line);
  EXPECT_LE(lines.size(), 23u) << "the last line is left free, so the screen never scrolls";
  size_t heading = lines.size(), bestLapEnds = 0;
  for (size_t n = 0; n < lines.size(); ++n) {
    EXPECT_LE(columns(lines[n]), 80u) << lines[n];
    size_t at = lines[n].find("Best lap Pit Marks");
    if (at != std::string::npos) heading = n, bestLapEnds = columns(lines[n].substr(0, at + 8));
  }
  ASSERT_LT(heading, lines.size()) << screen;
  // Every car's best lap stands under the heading, whatever bytes its name takes.
  const std::regex lapTime("\\d:\\d\\d\\.\\d\\d\\d");
  int rows = 0;
  for (size_t n = heading + 1; n < lines.size() && lines[n].rfind("Relative", 0) != 0; ++n) {
    EXPECT_TRUE(std::regex_match(characters(lines[n], bestLapEnds - 8, 8), lapTime)) << lines[n];
    ++rows;
  }
  EXPECT_GE(rows, 8) << screen;
  EXPECT_NE(std::string::npos, screen.find("  1 ")) << "the leader stays listed";
  EXPECT_NE(std::string::npos, screen.find(" A. Sørensen-Åberg ")) << "the player, initials first";
  EXPECT_NE(std::string::npos, screen.find("T PIT")) << screen;
  EXPECT_NE(std::string::npos, screen.find("P30 \xc2\xb7 P15/20 GT3")) << screen;
  EXPECT_NE(std::string::npos, screen.find(" 16 GT3     Zoë Ørsted 32")) << screen;
  EXPECT_NE(std::string::npos, screen.find("+1 L 2:02.000")) << "a lap behind";
  for (const char* legend : {"T team-mate", "PIT in the pit lane", "+1 L a lap behind"}) {
    EXPECT_NE(std::string::npos, screen.find(legend)) << legend;
  }
}

}  // namespace

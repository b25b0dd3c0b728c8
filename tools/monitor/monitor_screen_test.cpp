// What the monitor prints of a block written by someone hostile: names that
// carry terminal commands and times no race has.
#include "tools/monitor/monitor_screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

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

}  // namespace

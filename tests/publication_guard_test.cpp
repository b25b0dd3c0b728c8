// The published bytes of a whole seeded race, update by update, compared
// with a recording kept in the repository: a change meant to make the
// updates faster must leave every published byte as it was.
//
// Two sessions (practice with 40 cars, then a race with 120 and a late
// entry) of telemetry updates at 10 Hz and scoring updates at 2 Hz, with a
// display program switching class rows, the KERS timer and odometer resets,
// realtime exits, a driver swap, a disqualification and a retirement. After
// every update a hash of the in-process blocks and one of the shared block
// are compared with the recording.
//
// To record again after an intended change of published results, run the
// program with KORVANEL_GUARD_RECORD=1; it rewrites the recording in the
// source tree. Review that diff like code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/race/race_generator.h"
#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using bench::RaceGenerator;
using bench::RaceOptions;

const char kConfig[] =
    "[GENERAL]\n"
    "TeamMembers=Jane Doe; John Smith, Maya Okafor; Hugo Petit, $$REALTIME_MODE$$\n"
    "[HUD]\n"
    "Grid_Classes1=GT,GT3,#GT4,@\n"
    "Grid_Classes2=My class,@\n"
    "Grid_Classes3=Prototypes,LMP1,LMP2\n"
    "Grid_Classes4=Friends,$JANE DOE,$#SMI,$#OKA,GT4 Am\n"
    "Grid_Classes5=Everybody,*\n"
    "KersTime=6.7\n";

// 64-bit hash of a byte range, word by word; the same on every build.
class Hash {
 public:
  void add(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (; size >= 8; size -= 8, p += 8) {
      uint64_t w = 0;
      for (int i = 7; i >= 0; --i) w = (w << 8) | p[i];
      mix(w);
    }
    uint64_t w = 0;
    for (size_t i = size; i-- > 0;) w = (w << 8) | p[i];
    mix(w ^ (static_cast<uint64_t>(size) << 56));
  }
  uint64_t value() const {
    uint64_t h = h_;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
  }

 private:
  void mix(uint64_t w) {
    h_ ^= w * 0x87C37B91114253D5ull;
    h_ = (h_ << 31) | (h_ >> 33);
    h_ *= 0x4CF5AD432745937Full;
  }
  uint64_t h_ = 0x9E3779B97F4A7C15ull;
};

uint64_t inProcessHash() {
  Hash h;
  h.add(&publishedTelemetry(), sizeof(TelemetryInfoV2));
  h.add(&publishedScoring(), sizeof(ScoringInfoV2));
  h.add(&publishedTimeTable(), sizeof(TimeTable));
  h.add(&publishedSectorTimes(), sizeof(AbsoluteSectorTimes));
  h.add(&hostState(), sizeof(HostState));
  h.add(&scoringClockReset(), 1);
  return h.value();
}

// The whole block but the data lock's address, which differs from run to
// run, and the read protocol's counter and stamp, which are checked apart
// (checkProtocolFields): hashed as the zeros they were when recorded, so the
// recording still holds every byte that was published before them.
uint64_t sharedHash() {
  const SharedBlock* block = sharedBlock();
  if (block == nullptr) return 0;
  static std::vector<unsigned char> bytes(offsetof(SharedBlock, dataLockAddress));
  std::memcpy(bytes.data(), block, bytes.size());
  std::memset(bytes.data() + offsetof(SharedBlock, sequence), 0, sizeof block->sequence);
  const unsigned char stampAsRecorded[sizeof block->layoutStamp] = {};
  Hash h;
  h.add(bytes.data(), bytes.size());
  h.add(stampAsRecorded, sizeof stampAsRecorded);
  return h.value();
}

// After every call that wrote the block: the stamp as created, and the
// counter even (no write left open) and moved on since the previous call.
void checkProtocolFields(uint32_t& lastSequence, int update) {
  const SharedBlock* block = sharedBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->layoutStamp, kLayoutStamp) << "update " << update;
  EXPECT_EQ(block->sequence % 2, 0u) << "update " << update;
  EXPECT_GT(block->sequence, lastSequence) << "update " << update;
  lastSequence = block->sequence;
}

std::string sourcePath() {
  std::string path = KORVANEL_GUARD_FILE;
#ifdef _WIN32
  // Under Wine the source tree is reached through the drive of the root.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  return path;
}

// Runs the race and returns one line per update.
std::vector<std::string> runRace() {
  std::vector<std::string> lines;
  testing::ScratchFolder folder;
  folder.writeFile("Plugins/KORVANEL/korvanelconf.txt", kConfig);
  testing::FakeClock clock(1000000);
  PluginConfig config;
  config.load("Plugins\\KORVANEL\\korvanelconf.txt", nullptr);
  PluginConfig::setInstanceForTesting(&config);

  {
    RenderPlugin plugin;
    SharedBlock* block = sharedBlock();
    EXPECT_NE(block, nullptr);
    plugin.startup(0);
    int update = 0;
    uint32_t lastSequence = block ? block->sequence : 0;
    auto record = [&](char kind) {
      checkProtocolFields(lastSequence, update);
      char line[64];
      std::snprintf(line, sizeof line, "%05d %c %016llx %016llx", update++, kind,
                    static_cast<unsigned long long>(inProcessHash()),
                    static_cast<unsigned long long>(sharedHash()));
      lines.push_back(line);
    };

    struct Session {
      int cars;
      int32_t code;
      int steps;
      uint64_t seed;
    };
    const Session sessions[] = {{40, 2, 600, 11}, {120, 10, 2400, 2026}};
    for (const Session& s : sessions) {
      RaceOptions options;
      options.cars = s.cars;
      options.session = s.code;
      options.seed = s.seed;
      RaceGenerator race(options);
      plugin.startSession();
      plugin.enterRealtime();
      record('B');
      for (int step = 0; step < s.steps; ++step) {
        // What a display program does now and then, through the block.
        if (block) {
          HostState& shown = block->state;
          switch (step) {
            case 50:
              shown.kersTimerOn = 1;
              break;
            case 80:
              shown.kersRunning = 1;
              break;
            case 150:
              shown.selectedClassRow = 1;
              break;
            case 400:
              shown.distanceResetCommand = 2;
              break;
            case 420:
              shown.kersRunning = 0;
              break;
            case 500:
              shown.selectedClassRow = 2;
              break;
            case 700:
              shown.distanceResetCommand = 3;
              break;
            case 900:
              shown.selectedClassRow = 3;
              break;
            case 1300:
              shown.selectedClassRow = 4;
              break;
            case 1700:
              shown.selectedClassRow = 5;
              break;
            case 2100:
              shown.selectedClassRow = 40;
              break;  // beyond the rows
            case 2200:
              shown.selectedClassRow = 1;
              break;
            default:
              break;
          }
        }
        switch (step) {
          case 250:
            race.swapDriver(3);
            break;
          case 600:
            race.addCar();
            break;
          case 800:
            race.setVehicleStatus(5, 3);
            break;
          case 1000:
            race.retire(9);
            break;
          case 1100:
            plugin.exitRealtime();
            race.setRealtimeFlag(0);
            break;
          case 1400:
            plugin.enterRealtime();
            race.setRealtimeFlag(1);
            break;
          default:
            break;
        }

        clock.advance(100);
        race.advance(0.1);
        plugin.updateTelemetry(race.telemetry(0.1));
        record('T');
        if (step % 5 == 4) {
          plugin.updateScoring(race.scoring());
          record('S');
        }
      }
      // The race reached every part of the published picture.
      const TimeTable& table = publishedTimeTable();
      int inUse = 0;
      for (const TimeTableEntry& e : table.entries) inUse += e.inUse;
      EXPECT_EQ(inUse, s.cars + 1 + (s.steps > 600 ? 1 : 0));  // a new driver, a late entry
      EXPECT_GT(table.fastestLapTime, 0.0f);
      EXPECT_GT(table.playerBestLapTime, 0.0f);
      EXPECT_GT(publishedSectorTimes().recordTime[0], 0.0f);
      EXPECT_GE(publishedScoring().playerIndex, 0);
      EXPECT_GT(publishedTelemetry().estimatedLapTime, 0.0f);
      plugin.endSession();
      record('E');
    }
    plugin.shutdown();
    record('Q');
  }
  PluginConfig::setInstanceForTesting(nullptr);
  return lines;
}

TEST(PublicationGuard, EveryUpdatePublishesWhatWasRecorded) {
  const std::string path = sourcePath();
  std::vector<std::string> expected;
  {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] != '#') expected.push_back(line);
    }
  }

  std::vector<std::string> actual = runRace();
  ASSERT_GT(actual.size(), 3000u);

  if (std::getenv("KORVANEL_GUARD_RECORD") != nullptr) {
    std::ofstream out(path, std::ios::binary);
    out << "# update, kind (B session start, T telemetry, S scoring, E session end, Q shutdown),\n"
        << "# hash of the in-process blocks, hash of the shared block\n";
    for (const std::string& line : actual) out << line << '\n';
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    GTEST_SKIP() << "recorded " << actual.size() << " updates into " << path;
  }

  ASSERT_FALSE(expected.empty()) << "no recording at " << path;
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    // The first difference is the one to look at; later ones follow from it.
    ASSERT_EQ(expected[i], actual[i]) << "published bytes differ from update " << i
                                      << " on (columns: update, kind, in-process, shared block)";
  }
}

// The hash must see a change of any single byte, or the guard guards nothing.
TEST(PublicationGuard, HashSeesEveryByte) {
  std::vector<unsigned char> bytes(1000, 0x5A);
  Hash base;
  base.add(bytes.data(), bytes.size());
  for (size_t i = 0; i < bytes.size(); i += 37) {
    bytes[i] ^= 1;
    Hash changed;
    changed.add(bytes.data(), bytes.size());
    EXPECT_NE(base.value(), changed.value()) << "byte " << i;
    bytes[i] ^= 1;
  }
  Hash shorter;
  shorter.add(bytes.data(), bytes.size() - 1);
  EXPECT_NE(base.value(), shorter.value());
}

}  // namespace
}  // namespace korvanel

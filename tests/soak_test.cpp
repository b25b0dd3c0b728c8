// The soak: a race driven flat out through the plugin object for a minute
// or more, in sessions of a few seconds, while three hostile neighbours
// work at random moments: a dashboard that holds the odometer file open
// (on Windows without letting anyone write or delete it), display code in
// the host's process that takes the data lock and keeps it for up to two
// seconds, and a writer that scribbles random bytes over the shared block.
// At every session end the odometer's store (the file, or its journal while
// the file is held) holds exactly the distance driven, and at the end, with
// the neighbours gone, the file itself does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/data_lock.h"
#include "publish/shared_block.h"
#include "settings/ini_file.h"
#include "settings/plugin_config.h"
#include "settings/profile.h"
#include "telemetry/telemetry_steps.h"
#include "tests/test_support.h"
#include "tools/race/race_model.h"

namespace korvanel {
namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr char kHostPath[] = "PLUGINS\\KORVANEL\\KM.txt";

int soakSeconds() {
  const char* text = std::getenv("KORVANEL_SOAK_SECONDS");
  int seconds = text ? std::atoi(text) : 60;
  return seconds > 0 ? seconds : 60;
}

// The vehicle total the store holds now (journal first), or -1.
double storedTotal(const char* vehicleKey) {
  std::string text;
  int32_t code = 0;
  if (readProfileText(kHostPath, kMaxIniFileSize, text, code) != FileRead::kRead) return -1.0;
  char value[kProfileBufferSize];
  if (!findIniValue(text, "KM", vehicleKey, value, sizeof value)) return -1.0;
  return parseProfileNumber(value);
}

// Holds the file open for reading for `ms`, as a dashboard does.
void holdFileOpen(const std::filesystem::path& path, int ms) {
#ifdef _WIN32
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
#else
  int fd = open(path.c_str(), O_RDONLY);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (fd >= 0) close(fd);
#endif
}

TEST(SoakTest, EveryMetreIsCountedWhateverTheNeighboursDo) {
  testing::ScratchFolder folder;
  PluginConfig config;
  PluginConfig::setInstanceForTesting(&config);
  const auto kmFile = folder.pluginFolder() / "KM.txt";
  const int seconds = soakSeconds();

  tools::RaceOptions options;
  options.cars = 20;
  options.seed = 17;
  // A race that never ends within the soak: the player keeps driving.
  options.sessionLength = 1e9;
  tools::RaceModel model(options);

  std::atomic<bool> stop{false};
  std::atomic<int> fileHolds{0}, lockHolds{0}, scribbles{0};
  auto random = [](uint32_t seed) { return std::mt19937(seed); };

  std::thread dashboard([&] {
    auto rng = random(1);
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 400));
      holdFileOpen(kmFile, static_cast<int>(rng() % 1500));
      ++fileHolds;
    }
  });
  std::thread display([&] {
    auto rng = random(2);
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200 + rng() % 2000));
      platform::lockEnter(dataLock());
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 2000));
      platform::lockLeave(dataLock());
      ++lockHolds;
    }
  });
  std::thread scribbler;

  RenderPlugin plugin;
  SharedBlock* block = sharedBlock();
  ASSERT_NE(block, nullptr);
  scribbler = std::thread([&] {
    auto rng = random(3);
    auto* bytes = reinterpret_cast<volatile uint8_t*>(block);
    // Everything but the reset command, which a display sends on purpose
    // and which would rightly zero a total.
    const size_t reset = offsetof(SharedBlock, state) + offsetof(HostState, distanceResetCommand);
    while (!stop) {
      for (int i = 0; i < 64; ++i) {
        size_t at = rng() % sizeof(SharedBlock);
        if (at != reset) bytes[at] = static_cast<uint8_t>(rng());
      }
      ++scribbles;
      // A millisecond: shorter sleeps are no sleeps on some systems, and a
      // spinning scribbler would only measure the machine.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  plugin.startup(0);
  double counted = 0.0;  // distance fed while the odometer had its totals
  long calls = 0;
  double worstMs = 0.0;
  int waits = 0;  // calls as long as a lock wait or longer
  int sessions = 0;
  const char* key = "";
  auto start = Clock::now();
  while (Clock::now() - start < std::chrono::seconds(seconds)) {
    plugin.startSession();
    plugin.enterRealtime();
    auto sessionStart = Clock::now();
    bool first = true;
    while (Clock::now() - sessionStart < std::chrono::seconds(4)) {
      for (int i = 0; i < 9; ++i) {
        model.step(1.0 / 90);
        HostTelemetry t = model.telemetry(1.0 / 90);
        bool loaded = plugin.odometer().loaded;
        auto before = Clock::now();
        plugin.updateTelemetry(&t);
        double ms = Millis(Clock::now() - before).count();
        worstMs = std::max(worstMs, ms);
        waits += ms >= 450.0;
        if (loaded) counted += stepDistance(t);
        ++calls;
      }
      // Now and then outside realtime, when the scoring update saves.
      bool realtime = !first && (calls / 900) % 3 != 0;
      first = false;
      auto before = Clock::now();
      plugin.updateScoring(&model.scoring(realtime));
      double ms = Millis(Clock::now() - before).count();
      worstMs = std::max(worstMs, ms);
      waits += ms >= 450.0;
      ++calls;
    }
    plugin.exitRealtime();
    double total = plugin.odometer().vehicleTotal;
    key = plugin.odometer().vehicleKey;
    std::string vehicleKey = key;
    plugin.endSession();
    ++sessions;
    ASSERT_FALSE(vehicleKey.empty());
    // Float precision of the stored text aside (six decimals).
    EXPECT_NEAR(storedTotal(vehicleKey.c_str()), total, 1e-5) << "session " << sessions;
    // Each session starts from the six decimals stored: a millimetre in all.
    EXPECT_NEAR(total, counted, 1e-3) << "session " << sessions;
  }
  stop = true;
  dashboard.join();
  display.join();
  scribbler.join();
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

  // Nobody holds anything now: one more short session brings the file up
  // to date, and the journal goes.
  plugin.startSession();
  for (int i = 0; i < 9; ++i) {
    model.step(1.0 / 90);
    HostTelemetry t = model.telemetry(1.0 / 90);
    bool loaded = plugin.odometer().loaded;
    plugin.updateTelemetry(&t);
    if (loaded) counted += stepDistance(t);
  }
  plugin.updateScoring(&model.scoring(false));
  std::string vehicleKey = plugin.odometer().vehicleKey;
  plugin.endSession();
  plugin.shutdown();
  std::string text = folder.readFile("Plugins/KORVANEL/KM.txt");
  char value[kProfileBufferSize];
  ASSERT_TRUE(findIniValue(text, "KM", vehicleKey.c_str(), value, sizeof value)) << text;
  EXPECT_NEAR(parseProfileNumber(value), counted, 1e-3);
  EXPECT_FALSE(std::filesystem::exists(folder.pluginFolder() / "KM.txt.journal"));
  std::printf(
      "%.0f s, %d sessions: %ld calls (%.0f a second), %d of them of 450 ms or more, "
      "the slowest %.0f ms; "
      "%.1f m counted; the file was held %d times, the lock %d times, the block "
      "scribbled %d times\n",
      elapsed, sessions, calls, calls / elapsed, waits, worstMs, counted, fileHolds.load(),
      lockHolds.load(), scribbles.load());
  EXPECT_GT(fileHolds.load(), 0);
  EXPECT_GT(lockHolds.load(), 0);
  // One wait per hold of the lock at most, not one per call during it (a
  // save's flush on a busy disk may add the odd slow call).
  EXPECT_LE(waits, 2 * lockHolds.load() + sessions);
  PluginConfig::setInstanceForTesting(nullptr);
}

}  // namespace
}  // namespace korvanel

// The odometer file survives a writer killed at any moment: a forked child
// saves in a loop and is killed with SIGKILL after a random delay, again and
// again. After every kill the file must parse, hold every other line as it
// was, and carry totals that never went backwards and moved together.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <random>
#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "settings/odometer.h"
#include "settings/profile.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::ScratchFolder;

constexpr char kFile[] = "Plugins/KORVANEL/KM.txt";
constexpr int kKills = 300;
constexpr auto kTimeBudget = std::chrono::seconds(15);

// Everything in the file but the two totals is fixed; a save may change
// only those two values.
std::string expectedFile(const std::string& vehicle, const std::string& track) {
  return "; kept comment\n"
         "[KM]\n"
         "Alpha_Car=1.500000\n"
         "Formula_Car_2=" +
         vehicle +
         "\n"
         "Zulu=7\n"
         "\n"
         "[NOTES]\n"
         "Owner=kill test\n"
         "[KM_TRACKS]\n"
         "Alpha_Car[Big_Oval]=2.000000\n"
         "Formula_Car_2[Big_Oval]=" +
         track + "\n";
}

// The child: loads the totals and saves after every step until killed.
[[noreturn]] void saveUntilKilled() {
  Odometer odometer;
  char vehicle[64] = "Formula Car 2";
  char track[64] = "Big Oval";
  odometer.select(vehicle, track);
  if (!odometer.loaded) _exit(2);
  for (;;) {
    odometer.add(0.25);  // exact in binary, so the totals' difference is too
    odometer.save();
  }
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  return names;
}

TEST(OdometerKillTest, AKilledWriterNeverLeavesABrokenOrOlderFile) {
  ScratchFolder folder;
  const double vehicleStart = 16777216.25;  // above float precision
  const double trackStart = 1000.5;
  folder.writeFile(kFile, expectedFile("16777216.250000", "1000.500000"));

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayUs(0, 15000);
  double lastVehicle = vehicleStart;
  double lastTrack = trackStart;
  int kills = 0;
  int killedMidWrite = 0;  // a temporary file was left: the kill hit a save
  int advanced = 0;
  auto start = std::chrono::steady_clock::now();

  while (kills < kKills && std::chrono::steady_clock::now() - start < kTimeBudget) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) saveUntilKilled();
    usleep(static_cast<useconds_t>(delayUs(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    ++kills;

    std::string text = folder.readFile(kFile);
    char vehicleText[kProfileBufferSize] = "";
    char trackText[kProfileBufferSize] = "";
    ASSERT_TRUE(findIniValue(text, "KM", "Formula_Car_2", vehicleText, sizeof vehicleText))
        << "kill " << kills << ":\n"
        << text;
    ASSERT_TRUE(
        findIniValue(text, "KM_TRACKS", "Formula_Car_2[Big_Oval]", trackText, sizeof trackText))
        << "kill " << kills << ":\n"
        << text;
    ASSERT_EQ(text, expectedFile(vehicleText, trackText)) << "kill " << kills;

    double vehicle = parseProfileNumber(vehicleText);
    double track = parseProfileNumber(trackText);
    ASSERT_GE(vehicle, lastVehicle) << "kill " << kills;
    ASSERT_GE(track, lastTrack) << "kill " << kills;
    // Both totals went into the file in one replacement.
    ASSERT_EQ(vehicle - vehicleStart, track - trackStart) << "kill " << kills;
    if (vehicle > lastVehicle) ++advanced;
    lastVehicle = vehicle;
    lastTrack = track;

    // Killed writers' temporary files (one name per process and save, so
    // that two hosts never share one), never anything else.
    for (const std::string& name : folderEntries(folder.pluginFolder())) {
      if (name == "KM.txt") continue;
      ASSERT_TRUE(std::regex_match(name, std::regex(R"(KM\.txt\.[0-9]+\.[0-9]+\.tmp)")))
          << name << " kill " << kills;
      ++killedMidWrite;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%d kills in %.1f s: %d advanced the totals, %d hit a save in progress; "
      "totals went from %.2f to %.2f\n",
      kills, seconds, advanced, killedMidWrite, vehicleStart, lastVehicle);
  EXPECT_GE(kills, 200);
  EXPECT_GT(advanced, 0);

  // The next save (say, the next session's) clears the temporary files left
  // by killed writers and goes on from the stored totals.
  Odometer odometer;
  char vehicle[64] = "Formula Car 2";
  char track[64] = "Big Oval";
  odometer.select(vehicle, track);
  EXPECT_EQ(odometer.vehicleTotal, lastVehicle);
  odometer.add(0.25);
  odometer.save();
  EXPECT_EQ(folderEntries(folder.pluginFolder()), std::vector<std::string>{"KM.txt"});
  char text[kProfileBufferSize];
  formatProfileFloat(lastVehicle + 0.25, text, sizeof text);
  char trackTotal[kProfileBufferSize];
  formatProfileFloat(lastTrack + 0.25, trackTotal, sizeof trackTotal);
  EXPECT_EQ(folder.readFile(kFile), expectedFile(text, trackTotal));
}

}  // namespace
}  // namespace korvanel

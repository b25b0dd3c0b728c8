// What a save of the odometer costs the host's thread, with a KM.txt of a
// long-time user (300 cars on 10 tracks, about 125 KB): a save made on the
// host's thread (session end, outside driving, a reset command) against the
// hand-over of the save made while driving, which writes on a thread of its
// own. Run in a scratch folder; the file is fsynced as in use.
//
//   odometer_save_bench [google benchmark flags]
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/platform.h"
#include "settings/odometer.h"

namespace korvanel::bench {
namespace {

namespace fs = std::filesystem;

// Makes a scratch folder the working directory with a long-used KM.txt.
class UsedFolder {
 public:
  UsedFolder() {
    std::random_device device;
    path_ = fs::temp_directory_path() / ("korvanel-bench-" + std::to_string(device()));
    fs::create_directories(path_ / "Plugins" / "KORVANEL");
    previous_ = fs::current_path();
    fs::current_path(path_);
    std::ofstream file("Plugins/KORVANEL/KM.txt", std::ios::binary);
    file << "[KM]\n";
    for (int car = 0; car < 300; ++car) file << "Vehicle_Number_" << car << "=123456.500000\n";
    file << "[KM_TRACKS]\n";
    for (int car = 0; car < 300; ++car) {
      for (int track = 0; track < 10; ++track) {
        file << "Vehicle_Number_" << car << "[Some_Track_" << track << "]=12345.500000\n";
      }
    }
  }
  ~UsedFolder() {
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(path_, ec);
  }

 private:
  fs::path path_;
  fs::path previous_;
};

void selectUsedCar(Odometer& odometer) {
  char vehicle[64] = "Vehicle Number 150";
  char track[64] = "Some Track 5";
  odometer.select(vehicle, track);
}

// A save on the host's thread: the whole read, merge, write and flush.
void BM_SaveOnTheHostsThread(benchmark::State& state) {
  UsedFolder folder;
  Odometer odometer;
  selectUsedCar(odometer);
  for (auto _ : state) {
    odometer.add(10.0);
    odometer.save();
  }
}
BENCHMARK(BM_SaveOnTheHostsThread)->Unit(benchmark::kMillisecond)->Iterations(200);

uint32_t gTick = 0;
uint32_t benchTick() { return gTick; }

// The telemetry update's call that starts the save made while driving:
// only the hand-over is timed; the write is waited for outside the timing
// (so the iterations are fixed: the untimed part dominates).
void BM_DrivingSaveHandOver(benchmark::State& state) {
  UsedFolder folder;
  platform::setTickSourceForTesting(benchTick);
  Odometer odometer;
  selectUsedCar(odometer);
  for (auto _ : state) {
    gTick += kOdometerDrivingSaveMs;
    odometer.add(10.0);
    odometer.saveIfDue(gTick);
    state.PauseTiming();
    odometer.save();  // waits for the save in flight
    state.ResumeTiming();
  }
  platform::setTickSourceForTesting(nullptr);
}
BENCHMARK(BM_DrivingSaveHandOver)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
}  // namespace korvanel::bench

BENCHMARK_MAIN();

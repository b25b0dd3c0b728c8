// Set-up shared by the benchmarks and the profiling runs.
#include "bench/bench_race.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "publish/shared_block.h"

namespace korvanel::bench {

WorkFolder::WorkFolder() {
  namespace fs = std::filesystem;
  previous_ = fs::current_path().string();
  char pattern[] = "/tmp/korvanel-bench-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made ? made : (fs::temp_directory_path() / "korvanel-bench").string();
  fs::create_directories(fs::path(path_) / "Plugins" / "KORVANEL");
  std::ofstream(fs::path(path_) / "Plugins" / "KORVANEL" / "korvanelconf.txt") << kBenchConfig;
  fs::current_path(path_);
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string WorkFolder::configPath() const { return "Plugins\\KORVANEL\\korvanelconf.txt"; }

RecordRing::RecordRing(int cars, int size, double step, uint64_t seed) {
  RaceOptions options;
  options.cars = cars;
  options.seed = seed;
  RaceGenerator race(options);
  snapshots_.resize(size);
  for (Snapshot& s : snapshots_) {
    race.advance(step);
    s.header = *race.scoring();
    s.vehicles.assign(s.header.vehicles, s.header.vehicles + s.header.vehicleCount);
    s.telemetry = *race.telemetry(step);
  }
  text_ = snapshots_.front().header.hostText;
  for (Snapshot& s : snapshots_) {
    s.header.vehicles = s.vehicles.data();
    s.header.hostText = text_.c_str();
  }
}

namespace {

WorkFolder* gFolder = nullptr;

}  // namespace

RenderPlugin& benchPlugin() {
  static RenderPlugin* plugin = [] {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".bench%ld", static_cast<long>(getpid()));
    platform::setNameSuffix(suffix);
    gFolder = new WorkFolder;
    auto* p = new RenderPlugin;
    p->startup(0);
    return p;
  }();
  return *plugin;
}

void startRace(RenderPlugin& plugin, const RecordRing& ring) {
  plugin.startSession();
  plugin.enterRealtime();
  if (SharedBlock* block = sharedBlock()) {
    block->state.selectedClassRow = kBenchClassRow;
    block->state.kersTimerOn = 1;
    block->state.kersRunning = 1;
  }
  plugin.updateTelemetry(ring.telemetry(0));
  plugin.updateScoring(ring.scoring(0));
  plugin.updateTelemetry(ring.telemetry(1));
}

void finishBench() {
  platform::unlinkNamedObjects();
  delete gFolder;
  gFolder = nullptr;
}

}  // namespace korvanel::bench

// What the benchmarks and the profiling runs share: a working folder with a
// realistic configuration, the plugin object with its shared block, and
// rings of generated host records to replay.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_config.h"
#include "tools/race/race_generator.h"
#include "host/host_records.h"
#include "plugin/render_plugin.h"

namespace korvanel::bench {

// A fresh temporary folder made the working directory, with
// Plugins/KORVANEL/korvanelconf.txt inside; removed again at the end.
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  const std::string& path() const { return path_; }
  std::string configPath() const;  // host-style relative path of the config

 private:
  std::string previous_;
  std::string path_;
};

// Host records of a race of `cars` cars at successive moments, to be
// replayed in turn: enough variety that laps, sectors and positions change
// between calls, few enough to stay in the cache as the host's fresh records
// would.
class RecordRing {
 public:
  // `size` moments `step` seconds apart.
  RecordRing(int cars, int size, double step = 0.1, uint64_t seed = 7);
  const HostScoring* scoring(size_t i) const { return &snapshots_[i % snapshots_.size()].header; }
  const HostTelemetry* telemetry(size_t i) const {
    return &snapshots_[i % snapshots_.size()].telemetry;
  }
  size_t size() const { return snapshots_.size(); }

 private:
  struct Snapshot {
    HostScoring header;
    std::vector<HostVehicle> vehicles;
    HostTelemetry telemetry;
  };
  std::string text_;
  std::vector<Snapshot> snapshots_;
};

// The process's one plugin object, built in a work folder the first time,
// with its shared block under a name of this process's own.
RenderPlugin& benchPlugin();
// Session start, then the display's class row and one scoring update from
// `ring`, so the blocks hold the race before timing starts.
void startRace(RenderPlugin& plugin, const RecordRing& ring);
// Removes the named objects and the work folder.
void finishBench();

}  // namespace korvanel::bench

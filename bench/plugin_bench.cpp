// Benchmarks of the two update cycles against the cost of copying the bytes
// they publish, measured in the same run, and a table of the ratios against
// their targets. A second mode replays one update many times for a run under
// callgrind, which counts instructions instead of timing them.
//
//   korvanel_bench [google benchmark flags]
//   korvanel_bench --profile=telemetry|fresh|scoring:CARS[:CALLS]
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_race.h"
#include "bench/table_row.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/odometer.h"
#include "settings/plugin_config.h"

namespace korvanel::bench {
namespace {

constexpr int kRingSize = 2;

const RecordRing& ringFor(int cars) {
  static std::map<int, std::unique_ptr<RecordRing>> rings;
  std::unique_ptr<RecordRing>& ring = rings[cars];
  if (!ring) ring = std::make_unique<RecordRing>(cars, kRingSize);
  return *ring;
}

void BM_TelemetryUpdate(benchmark::State& state) {
  RenderPlugin& plugin = benchPlugin();
  const RecordRing& ring = ringFor(static_cast<int>(state.range(0)));
  startRace(plugin, ring);
  size_t i = 0;
  for (auto _ : state) {
    plugin.updateTelemetry(ring.telemetry(i++));
  }
}

void BM_ScoringUpdate(benchmark::State& state) {
  RenderPlugin& plugin = benchPlugin();
  const RecordRing& ring = ringFor(static_cast<int>(state.range(0)));
  startRace(plugin, ring);
  size_t i = 0;
  for (auto _ : state) {
    plugin.updateScoring(ring.scoring(i++));
  }
}

// The first telemetry update after a scoring update, which finds every car's
// velocity, acceleration and orientation new; the scoring update between is
// not counted.
void BM_TelemetryAfterScoring(benchmark::State& state) {
  RenderPlugin& plugin = benchPlugin();
  const RecordRing& ring = ringFor(static_cast<int>(state.range(0)));
  startRace(plugin, ring);
  size_t i = 0;
  for (auto _ : state) {
    plugin.updateScoring(ring.scoring(i));
    auto start = std::chrono::steady_clock::now();
    plugin.updateTelemetry(ring.telemetry(i++));
    auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}

// What the telemetry update publishes: the telemetry block, the scoring
// block and the state record, from the in-process copies into the block.
void BM_TelemetryCopy(benchmark::State& state) {
  benchPlugin();
  SharedBlock* block = sharedBlock();
  if (block == nullptr) {
    state.SkipWithError("no shared block");
    return;
  }
  for (auto _ : state) {
    std::memcpy(&block->telemetry, &publishedTelemetry(), sizeof(TelemetryInfoV2));
    std::memcpy(&block->scoring, &publishedScoring(), sizeof(ScoringInfoV2));
    std::memcpy(&block->state, &hostState(), sizeof(HostState));
    benchmark::ClobberMemory();
  }
}

// What the scoring update publishes: the scoring block, the state record,
// the timing table and the sector records.
void BM_ScoringCopy(benchmark::State& state) {
  benchPlugin();
  SharedBlock* block = sharedBlock();
  if (block == nullptr) {
    state.SkipWithError("no shared block");
    return;
  }
  for (auto _ : state) {
    std::memcpy(&block->scoring, &publishedScoring(), sizeof(ScoringInfoV2));
    std::memcpy(&block->state, &hostState(), sizeof(HostState));
    std::memcpy(&block->timeTable, &publishedTimeTable(), sizeof(TimeTable));
    std::memcpy(&block->sectorTimes, &publishedSectorTimes(), sizeof(AbsoluteSectorTimes));
    benchmark::ClobberMemory();
  }
}

void BM_ConfigLoad(benchmark::State& state) {
  benchPlugin();
  PluginConfig config;
  for (auto _ : state) {
    config.load("Plugins\\KORVANEL\\korvanelconf.txt", nullptr);
    benchmark::DoNotOptimize(config.classRows);
  }
}

// A save that writes: the totals changed since the previous one.
void BM_OdometerSave(benchmark::State& state) {
  benchPlugin();
  Odometer odometer;
  char vehicle[64] = "Ferrox 488 #4";
  char track[64] = "Eastfield Circuit";
  odometer.select(vehicle, track);
  for (auto _ : state) {
    odometer.add(12.5);
    odometer.save();
  }
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void registerBenchmarks() {
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", minimum)->Unit(benchmark::kMicrosecond);
  };
  configure(benchmark::RegisterBenchmark("telemetry_update", BM_TelemetryUpdate)
                ->Arg(20)
                ->Arg(100)
                ->Arg(150));
  configure(benchmark::RegisterBenchmark("telemetry_after_scoring", BM_TelemetryAfterScoring)
                ->Arg(150)
                ->UseManualTime());
  configure(benchmark::RegisterBenchmark("telemetry_copy", BM_TelemetryCopy));
  configure(
      benchmark::RegisterBenchmark("scoring_update", BM_ScoringUpdate)->Arg(20)->Arg(60)->Arg(150));
  configure(benchmark::RegisterBenchmark("scoring_copy", BM_ScoringCopy));
  configure(benchmark::RegisterBenchmark("config_load", BM_ConfigLoad));
  configure(benchmark::RegisterBenchmark("odometer_save", BM_OdometerSave)->Iterations(50));
}

// Keeps each case's CPU and wall time per call: the "min" aggregate over the
// repetitions when there are several, otherwise the fastest single run.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double cpu;
    double wall;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      std::string name = run.run_name.str();
      double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
      Times t{run.GetAdjustedCPUTime() / unit, run.GetAdjustedRealTime() / unit};
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "min") best_[name] = t;
      } else {
        auto it = single_.find(name);
        if (it == single_.end()) {
          single_[name] = t;
        } else {
          it->second = Times{std::min(it->second.cpu, t.cpu), std::min(it->second.wall, t.wall)};
        }
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // CPU seconds per call of `name`, or a negative number when it did not run.
  double seconds(const std::string& name) const { return find(name).cpu; }
  // Wall-clock seconds per call, for cases that wait on the system.
  double wallSeconds(const std::string& name) const { return find(name).wall; }

 private:
  Times find(const std::string& name) const {
    auto it = best_.find(name);
    if (it != best_.end()) return it->second;
    it = single_.find(name);
    return it != single_.end() ? it->second : Times{-1.0, -1.0};
  }
  std::map<std::string, Times> best_;
  std::map<std::string, Times> single_;
};

int gTargetsNotRun = 0;

// Prints one line of the table; returns false when a target was missed.
bool printRow(const char* label, double time, double reference, double target, double stretch) {
  return printTableRow(label, time, reference, nullptr, target, stretch, NotRun::kIsCounted,
                       &gTargetsNotRun);
}

bool printTable(const TableReporter& r) {
  double telemetryRef = r.seconds("telemetry_copy");
  double scoringRef = r.seconds("scoring_copy");
  std::printf(
      "\nCPU time per call, best of the repetitions (the first telemetry update after\n"
      "a scoring update and the odometer save: wall time); reference: memcpy of the\n"
      "bytes each update publishes, measured in the same run\n");
  std::printf(
      "  telemetry: 1912 + 125568 + 56 bytes; scoring: 125568 + 56 + 24060 + 220 "
      "bytes\n\n");
  std::printf("%-34s %12s %12s %8s %9s  %s\n", "case", "time/call", "reference", "ratio", "target",
              "result");
  bool ok = true;
  ok &= printRow("telemetry update, 20 cars", r.seconds("telemetry_update/20"), telemetryRef, 0, 0);
  ok &=
      printRow("telemetry update, 100 cars", r.seconds("telemetry_update/100"), telemetryRef, 0, 0);
  ok &= printRow("telemetry update, 150 cars", r.seconds("telemetry_update/150"), telemetryRef, 1.3,
                 1.15);
  ok &= printRow("telemetry, first after scoring",
                 r.wallSeconds("telemetry_after_scoring/150/manual_time"), telemetryRef, 0, 0);
  ok &= printRow("scoring update, 20 cars", r.seconds("scoring_update/20"), scoringRef, 0, 0);
  ok &= printRow("scoring update, 60 cars", r.seconds("scoring_update/60"), scoringRef, 0, 0);
  ok &= printRow("scoring update, 150 cars", r.seconds("scoring_update/150"), scoringRef, 4.0, 3.0);
  ok &= printRow("scoring update, 150 vs 20 cars", r.seconds("scoring_update/150"),
                 r.seconds("scoring_update/20"), 3.0, 2.5);
  ok &= printRow("configuration load", r.seconds("config_load"), -1, 0, 0);
  ok &= printRow("odometer save (wall time, flushes)", r.wallSeconds("odometer_save/iterations:50"),
                 -1, 0, 0);
  if (!ok) {
    std::printf("\nTARGETS MISSED\n");
  } else if (gTargetsNotRun > 0) {
    std::printf("\nthe targets that ran were met; %d did not run\n", gTargetsNotRun);
  } else {
    std::printf("\nall targets met\n");
  }
  return ok;
}

// --profile=KIND:CARS[:CALLS]: warms up, then clears callgrind's counters
// and runs CALLS updates of one kind.
int profile(const char* spec) {
  char kind[16] = {};
  int cars = 150;
  int calls = 2000;
  if (std::sscanf(spec, "%15[a-z]:%d:%d", kind, &cars, &calls) < 2) {
    std::fprintf(stderr, "usage: --profile=telemetry|fresh|scoring:CARS[:CALLS]\n");
    return 2;
  }
  bool telemetry = std::strcmp(kind, "telemetry") == 0;
  // "fresh": a scoring update before each telemetry update (collect only the
  // telemetry update's instructions).
  bool fresh = std::strcmp(kind, "fresh") == 0;
  telemetry = telemetry || fresh;
  if (!telemetry && std::strcmp(kind, "scoring") != 0) {
    std::fprintf(stderr, "unknown update kind '%s'\n", kind);
    return 2;
  }
  RenderPlugin& plugin = benchPlugin();
  const RecordRing& ring = ringFor(cars);
  startRace(plugin, ring);
  for (size_t i = 0; i < 2 * ring.size(); ++i) {
    if (telemetry) {
      plugin.updateTelemetry(ring.telemetry(i));
    } else {
      plugin.updateScoring(ring.scoring(i));
    }
  }
  CALLGRIND_ZERO_STATS;
  for (int i = 0; i < calls; ++i) {
    if (fresh) plugin.updateScoring(ring.scoring(i));
    if (telemetry) {
      plugin.updateTelemetry(ring.telemetry(i));
    } else {
      plugin.updateScoring(ring.scoring(i));
    }
  }
  std::printf("calls=%d kind=%s cars=%d\n", calls, kind, cars);
  return 0;
}

}  // namespace
}  // namespace korvanel::bench

int main(int argc, char** argv) {
  using namespace korvanel::bench;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--profile=", 10) == 0) {
      int status = profile(argv[i] + 10);
      finishBench();
      return status;
    }
  }

  // Defaults for a noisy machine: several short repetitions of every case,
  // interleaved at random, so a burst of other work hits them all alike.
  std::vector<char*> args(argv, argv + argc);
  bool repetitionsGiven = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0) repetitionsGiven = true;
  }
  static char repetitions[] = "--benchmark_repetitions=9";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  static char minTime[] = "--benchmark_min_time=0.1";
  if (!repetitionsGiven) {
    args.push_back(repetitions);
    args.push_back(interleave);
    args.push_back(aggregates);
    args.push_back(minTime);
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  registerBenchmarks();
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool ok = printTable(reporter);
  benchmark::Shutdown();
  finishBench();
  return ok ? 0 : 1;
}

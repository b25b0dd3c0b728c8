// Cost of the race engineer per snapshot at a full field of 150 cars (one
// observation of a block copy and the view taken after it, at a reader's
// poll rate of 30 Hz against scoring at 5 Hz), against the JSON encoding
// of one frame of the same race, and the encoding of the engineer's parts.
// The blocks come from a race of 150 cars run through the plugin in this
// process, in batches made outside the timed part.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "bench/bench_race.h"
#include "publish/shared_block.h"
#include "tools/engineer/engineer_json.h"
#include "tools/engineer/race_engineer.h"
#include "tools/race/race_model.h"
#include "tools/reader/snapshot_json.h"

// Allocations while counting is on: the engineer should make none at a
// steady state.
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

extern "C" void* __libc_malloc(size_t size);
extern "C" void __libc_free(void* p);

void* operator new(size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  if (void* p = __libc_malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }

namespace {

using namespace korvanel;
using namespace korvanel::tools;
using SteadyClock = std::chrono::steady_clock;

constexpr double kStep = 1.0 / 90.0;  // the host's telemetry rate
constexpr int kStepsPerPoll = 3;      // a reader polling at 30 Hz
constexpr int kStepsPerScoring = 18;  // scoring at 5 Hz
constexpr size_t kBatch = 90;         // three seconds of polls

// A race of 150 cars fed to the plugin; hands out copies of the block at
// the reader's poll rate, in order, without end.
class FullFieldRace {
 public:
  FullFieldRace() : model_(options()), plugin_(bench::benchPlugin()) {
    plugin_.startSession();
    plugin_.enterRealtime();
    plugin_.updateScoring(&model_.scoring(true));
  }
  // The next `n` polls' copies.
  void next(std::vector<KorvanelSharedBlock>& out, size_t n) {
    out.resize(n);
    for (KorvanelSharedBlock& copy : out) {
      for (int k = 0; k < kStepsPerPoll; ++k) {
        model_.step(kStep);
        HostTelemetry t = model_.telemetry(kStep);
        plugin_.updateTelemetry(&t);
        if (++steps_ % kStepsPerScoring == 0) plugin_.updateScoring(&model_.scoring(true));
      }
      std::memcpy(&copy, sharedBlock(), sizeof copy);
    }
  }

 private:
  static RaceOptions options() {
    RaceOptions o;
    o.cars = KORVANEL_MAX_VEHICLES;
    o.trackLength = 6000.0;
    o.sessionLength = 1e9;
    o.seed = 150;
    return o;
  }
  RaceModel model_;
  RenderPlugin& plugin_;
  long steps_ = 0;
};

FullFieldRace& race() {
  static FullFieldRace* r = new FullFieldRace;
  return *r;
}

// Feeds `engineer` two minutes of the race, so that every car has laps
// and stops behind it; returns the latest copy.
const KorvanelSharedBlock& warmUp(engineer::RaceEngineer& engineer) {
  static std::vector<KorvanelSharedBlock> batch;
  for (int k = 0; k < 120 * 30 / static_cast<int>(kBatch); ++k) {
    race().next(batch, kBatch);
    for (const KorvanelSharedBlock& b : batch) {
      engineer.observe(b, {});
      benchmark::DoNotOptimize(engineer.view().get());
    }
  }
  return batch.back();
}

void BM_EngineerObserveAndView150(benchmark::State& state) {
  engineer::RaceEngineer engineer(engineer::RaceLength{0, 60.0});
  warmUp(engineer);
  std::vector<KorvanelSharedBlock> batch;
  long snapshots = 0;
  gAllocations = 0;
  for (auto _ : state) {
    race().next(batch, kBatch);
    auto start = SteadyClock::now();
    gCounting = true;
    for (const KorvanelSharedBlock& b : batch) {
      engineer.observe(b, {});
      auto view = engineer.view();
      benchmark::DoNotOptimize(view.get());
    }
    gCounting = false;
    std::chrono::duration<double> took = SteadyClock::now() - start;
    state.SetIterationTime(took.count() / kBatch);  // per snapshot
    snapshots += static_cast<long>(kBatch);
  }
  state.counters["allocs_per_snapshot"] = static_cast<double>(gAllocations) / snapshots;
}
// Batches of a fixed count: making a batch takes far longer than observing it.
BENCHMARK(BM_EngineerObserveAndView150)
    ->UseManualTime()
    ->Iterations(40)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void BM_EncodeSnapshot150(benchmark::State& state) {
  engineer::RaceEngineer engineer;
  const KorvanelSharedBlock& block = warmUp(engineer);
  SnapshotMeta meta;
  meta.timeStamp = "2026-01-01T00:00:00.000Z";
  const unsigned blockParts = kPartSession | kPartStandings | kPartPlayer | kPartRecords;
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = snapshotText(snapshotJson(block, meta, blockParts), -1);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeSnapshot150)->Unit(benchmark::kMicrosecond);

void BM_EncodeEngineerParts150(benchmark::State& state) {
  engineer::RaceEngineer engineer(engineer::RaceLength{0, 60.0});
  warmUp(engineer);
  auto view = engineer.view();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = snapshotText(engineer::engineerJson(*view, kPartAll), -1);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeEngineerParts150)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  korvanel::bench::finishBench();
  return 0;
}

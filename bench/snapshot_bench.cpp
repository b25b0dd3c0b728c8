// Cost of one snapshot encode (the JSON that korvanel-live serves and
// streams) at a full field of 150 cars, against the reference of copying
// the block once, measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/reader/snapshot_json.h"

namespace {

using namespace korvanel::tools;

std::unique_ptr<KorvanelSharedBlock> fullField() {
  auto block = std::make_unique<KorvanelSharedBlock>();
  std::memset(block.get(), 0, sizeof *block);
  KorvanelScoringInfoV2& s = block->scoring;
  std::snprintf(s.trackName, sizeof s.trackName, "Benchmark Ring");
  s.vehicleCount = KORVANEL_MAX_VEHICLES;
  for (int i = 0; i < KORVANEL_MAX_VEHICLES; ++i) {
    KorvanelVehicleInfoV2& v = s.vehicles[i];
    std::snprintf(v.host.driverName, sizeof v.host.driverName, "Driver Number %d", i);
    std::snprintf(v.host.vehicleName, sizeof v.host.vehicleName, "Meridian GT3 #%d", i);
    std::snprintf(v.host.vehicleClass, sizeof v.host.vehicleClass, "GT%d", i % 3 + 2);
    v.host.place = static_cast<uint8_t>(i + 1);
    v.host.bestLapTime = 90.0 + i * 0.137;
    v.classPosition = i / 3 + 1;
    v.inClassGroup = 1;
    v.timeBehindClassLeader = i * 0.713f;
    v.timeGapToPlayer = (i - 75) * 0.5f;
    KorvanelTimeTableEntry& e = block->timeTable.entries[i];
    std::memcpy(e.driverName, v.host.driverName, sizeof e.driverName);
    std::memcpy(e.vehicleName, v.host.vehicleName, sizeof e.vehicleName);
    e.inUse = 1;
    e.bestLapTime = static_cast<float>(v.host.bestLapTime);
  }
  return block;
}

void BM_CopyBlock(benchmark::State& state) {
  auto source = fullField();
  auto copy = std::make_unique<KorvanelSharedBlock>();
  for (auto _ : state) {
    std::memcpy(copy.get(), source.get(), sizeof *copy);
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyBlock);

void BM_EncodeSnapshot150(benchmark::State& state) {
  auto block = fullField();
  SnapshotMeta meta;
  meta.timeStamp = "2026-01-01T00:00:00.000Z";
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = snapshotText(snapshotJson(*block, meta, kPartAll), -1);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeSnapshot150)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// Shared parts of the fuzz targets.
#include "fuzz/plugin_harness.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "scoring/scoring_info.h"
#include "telemetry/telemetry_steps.h"

namespace korvanel::fuzz {
namespace {

std::atomic<uint32_t> gTick{100000};
uint32_t tickSource() { return gTick.load(std::memory_order_relaxed); }

std::string gFolder;

void leaveScratchFolder() {
  platform::unlinkNamedObjects();
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  if (!gFolder.empty()) std::filesystem::remove_all(gFolder, ignored);
}

template <size_t N>
bool terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

void replaceNul(char* text, size_t size, char with) {
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == 0) text[i] = with;
  }
}

// Where the doubles of the host records lie; injections land on these.
constexpr size_t kVehicleDoubles[] = {
    offsetof(HostVehicle, lapDistance),
    offsetof(HostVehicle, passthrough112),
    offsetof(HostVehicle, passthrough120),
    offsetof(HostVehicle, bestSector1),
    offsetof(HostVehicle, bestSector2),
    offsetof(HostVehicle, bestLapTime),
    offsetof(HostVehicle, lastSector1),
    offsetof(HostVehicle, lastSector2),
    offsetof(HostVehicle, lastLapTime),
    offsetof(HostVehicle, currentSector1),
    offsetof(HostVehicle, currentSector2),
    offsetof(HostVehicle, timeBehindNext),
    offsetof(HostVehicle, timeBehindLeader),
    offsetof(HostVehicle, passthrough256),
    offsetof(HostVehicle, position),
    offsetof(HostVehicle, position) + 8,
    offsetof(HostVehicle, position) + 16,
    offsetof(HostVehicle, localVelocity),
    offsetof(HostVehicle, localVelocity) + 8,
    offsetof(HostVehicle, localVelocity) + 16,
    offsetof(HostVehicle, localAcceleration),
    offsetof(HostVehicle, localAcceleration) + 8,
    offsetof(HostVehicle, localAcceleration) + 16,
    offsetof(HostVehicle, orientation),
    offsetof(HostVehicle, orientation) + 8,
    offsetof(HostVehicle, orientation) + 16,
    offsetof(HostVehicle, orientation) + 48,
    offsetof(HostVehicle, orientation) + 56,
    offsetof(HostVehicle, orientation) + 64,
    offsetof(HostVehicle, passthrough464),
};
constexpr size_t kHeaderDoubles[] = {
    offsetof(HostScoring, currentTime),    offsetof(HostScoring, passthrough76),
    offsetof(HostScoring, lapLength),      offsetof(HostScoring, passthrough208),
    offsetof(HostScoring, passthrough216), offsetof(HostScoring, passthrough264),
};
constexpr size_t kTelemetryDoubles[] = {
    offsetof(HostTelemetry, deltaTime),         offsetof(HostTelemetry, lapStartTime),
    offsetof(HostTelemetry, position),          offsetof(HostTelemetry, position) + 8,
    offsetof(HostTelemetry, position) + 16,     offsetof(HostTelemetry, localVelocity),
    offsetof(HostTelemetry, localVelocity) + 8, offsetof(HostTelemetry, localVelocity) + 16,
    offsetof(HostTelemetry, fuelLevel),
};

template <size_t N>
void inject(void* record, const size_t (&offsets)[N], uint8_t field, uint8_t kind) {
  double value = specialDouble(kind);
  std::memcpy(static_cast<char*>(record) + offsets[field % N], &value, sizeof value);
}

// Fills `out` from `pool` read as a ring, starting at `offset`.
void ringCopy(void* out, size_t size, const uint8_t* pool, size_t poolSize, size_t offset) {
  auto* dst = static_cast<uint8_t*>(out);
  offset %= poolSize;
  while (size > 0) {
    size_t chunk = poolSize - offset < size ? poolSize - offset : size;
    std::memcpy(dst, pool + offset, chunk);
    dst += chunk;
    size -= chunk;
    offset = 0;
  }
}

}  // namespace

const char kFuzzConfig[] =
    "[GENERAL]\n"
    "TeamMembers=Ann Team; bob ,\tCarla\n"
    "[HUD]\n"
    "Grid_Classes0=Everyone,*\n"
    "Grid_Classes1=Mine,@\n"
    "Grid_Classes2=GT,#GT,gt3,$#ANN,$BOB\n"
    "Grid_Classes3=Prototypes,lmp1,LMP2,@,*\n"
    "KersTime=6.5\n";

std::string enterScratchFolder(const char* config) {
  namespace fs = std::filesystem;
  std::random_device device;
  char name[64];
  std::snprintf(name, sizeof name, "korvanel-fuzz-%08x%08x", device(), device());
  fs::path folder = fs::temp_directory_path() / name;
  fs::create_directories(folder / "Plugins" / "KORVANEL");
  if (config) std::ofstream(folder / "Plugins" / "KORVANEL" / "korvanelconf.txt") << config;
  fs::current_path(folder);
  gFolder = folder.string();
  char suffix[80];
  std::snprintf(suffix, sizeof suffix, ".%s", name);
  platform::setNameSuffix(suffix);
  std::atexit(leaveScratchFolder);
  return gFolder;
}

void setTick(uint32_t value) { gTick.store(value, std::memory_order_relaxed); }
uint32_t tick() { return gTick.load(std::memory_order_relaxed); }

RenderPlugin& plugin() {
  static RenderPlugin* instance = [] {
    enterScratchFolder(kFuzzConfig);
    platform::setTickSourceForTesting(&tickSource);
    return new RenderPlugin;
  }();
  return *instance;
}

void beginCase(uint32_t startTick) {
  RenderPlugin& p = plugin();
  setTick(startTick);
  std::memset(&publishedScoring(), 0, sizeof(ScoringInfoV2));
  std::memset(&publishedTelemetry(), 0, sizeof(TelemetryInfoV2));
  std::memset(&hostState(), 0, sizeof(HostState));
  cycleState().previousLapNumber = 10000;
  if (SharedBlock* block = sharedBlock()) {
    std::memset(&block->telemetry, 0, sizeof block->telemetry);
    std::memset(&block->scoring, 0, sizeof block->scoring);
    std::memset(&block->state, 0, sizeof block->state);
    block->scoringPublished = 0;
  }
  std::remove("Plugins/KORVANEL/KM.txt");
  p.startSession();
}

void HostileScoring::build(FuzzInput& in) {
  uint8_t flags = in.take<uint8_t>();
  int32_t count = static_cast<int32_t>(in.take<uint16_t>() % 1002) - 1;
  size_t textSize = in.take<uint16_t>() % 2101;
  in.bytes(&header_, sizeof header_);

  // A host text of any length without NULs; one of 1999 characters or more
  // is cut to exactly the published field's capacity and left unterminated,
  // so a read past it lands outside the allocation.
  text_.assign(textSize, 0);
  in.bytes(text_.data(), textSize);
  replaceNul(text_.data(), text_.size(), '?');
  if (textSize >= sizeof(ScoringInfoV2::hostText) - 1) {
    text_.resize(sizeof(ScoringInfoV2::hostText) - 1);
    text_.shrink_to_fit();
  } else {
    text_.push_back(0);
  }
  header_.hostText = (flags & 1) ? nullptr : text_.data();
  if (flags & 4) replaceNul(header_.trackName, sizeof header_.trackName, 'T');
  header_.vehicleCount = count;

  struct Injection {
    uint16_t vehicle;
    uint8_t field;
    uint8_t kind;
  } injections[16];
  int injectionCount = in.take<uint8_t>() % 17;
  for (int i = 0; i < injectionCount; ++i) in.bytes(&injections[i], sizeof injections[i]);

  // Exactly `count` records, so that reading one more is caught.
  vehicles_.assign(count > 0 ? static_cast<size_t>(count) : 0, HostVehicle{});
  vehicles_.shrink_to_fit();
  if (in.remaining() > 0) {
    for (size_t i = 0; i < vehicles_.size(); ++i) {
      ringCopy(&vehicles_[i], sizeof(HostVehicle), in.rest(), in.remaining(),
               i * (sizeof(HostVehicle) + 1));
    }
  }
  in.skip(in.remaining());
  if (flags & 2) {
    for (HostVehicle& v : vehicles_) {
      replaceNul(v.driverName, sizeof v.driverName, 'D');
      replaceNul(v.vehicleName, sizeof v.vehicleName, 'V');
      replaceNul(v.vehicleClass, sizeof v.vehicleClass, 'C');
    }
  }
  for (int i = 0; i < injectionCount; ++i) {
    const Injection& j = injections[i];
    size_t target = j.vehicle % (vehicles_.size() + 1);
    if (target == vehicles_.size()) {
      inject(&header_, kHeaderDoubles, j.field, j.kind);
    } else {
      inject(&vehicles_[target], kVehicleDoubles, j.field, j.kind);
    }
  }
  header_.vehicles = (flags & 8) || vehicles_.empty() ? nullptr : vehicles_.data();
}

HostTelemetry hostileTelemetry(FuzzInput& in) {
  HostTelemetry t;
  uint8_t flags = in.take<uint8_t>();
  in.bytes(&t, sizeof t);
  if (flags & 1) replaceNul(t.vehicleName, sizeof t.vehicleName, 'V');
  int injections = (flags >> 1) % 8;
  for (int i = 0; i < injections; ++i) {
    uint8_t field = in.take<uint8_t>();
    inject(&t, kTelemetryDoubles, field, in.take<uint8_t>());
  }
  return t;
}

void writeDisplayBytes(FuzzInput& in, bool whole) {
  SharedBlock* block = sharedBlock();
  if (block == nullptr) return;
  if (whole) {
    in.bytes(&block->state, sizeof block->state);
    return;
  }
  block->state.distanceResetCommand = in.take<uint8_t>();
  block->state.selectedClassRow = in.take<uint8_t>();
  block->state.kersTimerOn = in.take<uint8_t>();
  block->state.kersRunning = in.take<uint8_t>();
}

void checkAfterScoring() {
  const ScoringInfoV2& b = publishedScoring();
  const int n = countedVehicles(b);
  FUZZ_CHECK(terminated(b.trackName));
  FUZZ_CHECK(terminated(b.hostText));
  FUZZ_CHECK(b.playerIndex >= -1 && b.playerIndex < n);
  if (b.playerIndex >= 0) {
    FUZZ_CHECK(isPlayerVehicle(b.vehicles[b.playerIndex].host));
    FUZZ_CHECK(b.playerPlace == b.vehicles[b.playerIndex].host.place);
  } else {
    FUZZ_CHECK(b.playerPlace == 1000);
  }
  FUZZ_CHECK(b.classLeaderIndex >= -1 && b.classLeaderIndex < n);
  for (int i = 0; i < n; ++i) {
    const VehicleInfoV2& e = b.vehicles[i];
    FUZZ_CHECK(terminated(e.host.driverName));
    FUZZ_CHECK(terminated(e.host.vehicleName));
    FUZZ_CHECK(terminated(e.host.vehicleClass));
    FUZZ_CHECK(terminated(e.driverNameUpper));
    FUZZ_CHECK(terminated(e.vehicleClassUpper));
    if (i > 0) FUZZ_CHECK(b.vehicles[i - 1].host.place <= e.host.place);
    if (e.inClassGroup == 0) FUZZ_CHECK(e.classPosition == 0);
  }
  const TimeTable& table = publishedTimeTable();
  for (const TimeTableEntry& e : table.entries) {
    FUZZ_CHECK(terminated(e.driverName));
    FUZZ_CHECK(terminated(e.vehicleName));
    FUZZ_CHECK(terminated(e.vehicleClass));
  }
  FUZZ_CHECK(terminated(table.fastestLapDriver));

  const HostState& state = hostState();
  FUZZ_CHECK(state.playerIndex == b.playerIndex);
  FUZZ_CHECK(state.playerPlace == b.playerPlace);
  FUZZ_CHECK(state.noPlayerVehicle == (b.playerIndex == -1 ? 1 : 0));
  FUZZ_CHECK(std::isfinite(plugin().odometer().vehicleTotal));
  FUZZ_CHECK(std::isfinite(plugin().odometer().trackTotal));

  if (const SharedBlock* block = sharedBlock()) {
    FUZZ_CHECK(std::memcmp(&block->scoring, &b, sizeof b) == 0);
    FUZZ_CHECK(std::memcmp(&block->timeTable, &table, sizeof table) == 0);
    FUZZ_CHECK(std::memcmp(&block->sectorTimes, &publishedSectorTimes(),
                           sizeof(AbsoluteSectorTimes)) == 0);
    FUZZ_CHECK(block->scoringPublished == 1);
    FUZZ_CHECK(block->state.playerIndex == b.playerIndex);
  }
}

void checkAfterTelemetry(uint8_t commandBefore, const HostTelemetry& telemetry) {
  const ScoringInfoV2& b = publishedScoring();
  const HostState& state = hostState();
  const Odometer& odometer = plugin().odometer();
  FUZZ_CHECK(std::memcmp(&publishedTelemetry().telemetry, &telemetry, sizeof telemetry) == 0);
  FUZZ_CHECK(std::isfinite(odometer.vehicleTotal) && std::isfinite(odometer.trackTotal));
  FUZZ_CHECK(state.vehicleDistance == odometer.vehicleTotal);
  FUZZ_CHECK(state.vehicleTrackDistance == odometer.trackTotal);
  if (state.kersTimerOn == 1 && state.kersRunning != 0) {
    FUZZ_CHECK(state.kersRemaining >= 0.0f);  // NaN fails too
  }

  // Dead reckoning moves x and z of the first 100 entries only.
  const int n = countedVehicles(b);
  for (int i = 0; i < n; ++i) {
    const VehicleInfoV2& e = b.vehicles[i];
    if (i == b.playerIndex && i < kDeadReckonedVehicles) {
      FUZZ_CHECK(std::memcmp(e.estimatedPosition, telemetry.position, 24) == 0);
    } else if (i < kDeadReckonedVehicles) {
      FUZZ_CHECK(std::memcmp(&e.estimatedPosition[1], &e.host.position[1], 8) == 0);
    } else {
      FUZZ_CHECK(std::memcmp(e.estimatedPosition, e.host.position, 24) == 0);
    }
  }

  if (const SharedBlock* block = sharedBlock()) {
    FUZZ_CHECK(std::memcmp(&block->telemetry, &publishedTelemetry(), sizeof(TelemetryInfoV2)) == 0);
    FUZZ_CHECK(std::memcmp(&block->scoring, &b, sizeof b) == 0);
    FUZZ_CHECK(block->state.vehicleDistance == odometer.vehicleTotal);
    if (commandBefore == kResetVehicleDistance || commandBefore == kResetTrackDistance) {
      // Carried out, cleared in both copies; the total counts only this step.
      FUZZ_CHECK(block->state.distanceResetCommand == 0);
      FUZZ_CHECK(state.distanceResetCommand == 0);
      double total =
          commandBefore == kResetVehicleDistance ? odometer.vehicleTotal : odometer.trackTotal;
      FUZZ_CHECK(total == stepDistance(telemetry));
    } else {
      FUZZ_CHECK(block->state.distanceResetCommand == commandBefore);
    }
  }
}

}  // namespace korvanel::fuzz

// The 56-byte state record: one copy in the library's section shared by all
// processes that load it, one copy inside the shared block for outside
// programs, which also write their command bytes there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanel {

#pragma pack(push, 4)

struct HostState {
  uint8_t sessionActive;
  uint8_t trackLoaded;
  uint8_t inRealtime;
  uint8_t noPlayerVehicle;
  int32_t playerPlace;
  int32_t playerIndex;
  float timeSinceScoring;
  int32_t updateCount;
  uint8_t dataUpdated;
  uint8_t padding21[3];
  double vehicleDistance;
  double vehicleTrackDistance;
  uint8_t distanceResetCommand;  // 2: reset vehicle total, 3: track total
  uint8_t shutDown;
  uint8_t selectedClassRow;
  uint8_t kersTimerOn;
  uint8_t kersRunning;
  uint8_t padding45[3];
  float kersRemaining;
  uint8_t closed;
  uint8_t padding53[3];
};

// What the library's shared data section holds, and nothing else.
struct SharedSection {
  HostState state;
  uint8_t scoringClockReset;
};

#pragma pack(pop)

static_assert(sizeof(HostState) == 56);
static_assert(offsetof(HostState, sessionActive) == 0);
static_assert(offsetof(HostState, trackLoaded) == 1);
static_assert(offsetof(HostState, inRealtime) == 2);
static_assert(offsetof(HostState, noPlayerVehicle) == 3);
static_assert(offsetof(HostState, playerPlace) == 4);
static_assert(offsetof(HostState, playerIndex) == 8);
static_assert(offsetof(HostState, timeSinceScoring) == 12);
static_assert(offsetof(HostState, updateCount) == 16);
static_assert(offsetof(HostState, dataUpdated) == 20);
static_assert(offsetof(HostState, vehicleDistance) == 24);
static_assert(offsetof(HostState, vehicleTrackDistance) == 32);
static_assert(offsetof(HostState, distanceResetCommand) == 40);
static_assert(offsetof(HostState, shutDown) == 41);
static_assert(offsetof(HostState, selectedClassRow) == 42);
static_assert(offsetof(HostState, kersTimerOn) == 43);
static_assert(offsetof(HostState, kersRunning) == 44);
static_assert(offsetof(HostState, kersRemaining) == 48);
static_assert(offsetof(HostState, closed) == 52);
static_assert(offsetof(SharedSection, scoringClockReset) == 56);

// Counts one update. Outside programs can write any value into the block's
// copy that comes back in, so the count wraps instead of overflowing.
inline void countUpdate(HostState& state) {
  state.updateCount = static_cast<int32_t>(static_cast<uint32_t>(state.updateCount) + 1u);
}

constexpr uint8_t kResetVehicleDistance = 2;
constexpr uint8_t kResetTrackDistance = 3;

}  // namespace korvanel

// The 56-byte state record: one copy in the library's section shared by all
// processes that load it, one copy inside the shared block for outside
// programs, which also write their command bytes there. The layout is the
// reader header's (korvanel/shared_block.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "korvanel/shared_block.h"

namespace korvanel {

using HostState = KorvanelHostState;

#pragma pack(push, 4)

// What the library's shared data section holds, and nothing else.
struct SharedSection {
  HostState state;
  uint8_t scoringClockReset;
};

#pragma pack(pop)

static_assert(offsetof(SharedSection, scoringClockReset) == 56);

// Counts one update. Outside programs can write any value into the block's
// copy that comes back in, so the count wraps instead of overflowing.
inline void countUpdate(HostState& state) {
  state.updateCount = static_cast<int32_t>(static_cast<uint32_t>(state.updateCount) + 1u);
}

constexpr uint8_t kResetVehicleDistance = KORVANEL_RESET_VEHICLE_DISTANCE;
constexpr uint8_t kResetTrackDistance = KORVANEL_RESET_TRACK_DISTANCE;

}  // namespace korvanel

// Byte layout of the named shared block that display programs map: the
// reader header's (korvanel/shared_block.h), under the core's names.
#pragma once

#include <cstdint>

#include "korvanel/shared_block.h"
#include "publish/host_state.h"
#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"
#include "timing/sector_records.h"
#include "timing/time_table.h"

namespace korvanel {

using SharedBlock = KorvanelSharedBlock;

constexpr const char* kSharedBlockName = KORVANEL_SHARED_BLOCK_NAME;
constexpr uint32_t kSharedBlockSize = KORVANEL_SHARED_BLOCK_SIZE;
constexpr uint32_t kLayoutStamp = KORVANEL_LAYOUT_STAMP;

// The counter is an atomic word (publish/block_write.h).
static_assert(KORVANEL_OFFSET_SEQUENCE % 8 == 0, "the sequence counter is aligned");

}  // namespace korvanel

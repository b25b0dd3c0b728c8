// One snapshot of the shared block as JSON, for scripts and tests. Names
// are those of the block's fields; only the vehicles of the current update
// and the timing entries in use are listed.
#pragma once

#include <nlohmann/json.hpp>

#include "korvanel/shared_block.h"

namespace korvanel::tools {

// `whole`: whether the copy came whole from the read protocol; it is the
// snapshot's first field, with the counter and the layout stamp beside it.
nlohmann::json snapshotJson(const KorvanelSharedBlock& block, bool whole);

}  // namespace korvanel::tools

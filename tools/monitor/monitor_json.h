// One snapshot of the shared block as JSON, for scripts and tests. Names
// are those of the block's fields; only the vehicles of the current update
// and the timing entries in use are listed.
#pragma once

#include <nlohmann/json.hpp>

#include "korvanel/shared_block.h"

namespace korvanel::tools {

nlohmann::json snapshotJson(const KorvanelSharedBlock& block);

}  // namespace korvanel::tools

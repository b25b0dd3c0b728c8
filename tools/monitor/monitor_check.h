// `korvanel-monitor --check`: a plain-words answer to "is the plugin
// working?" for someone setting Korvanel up.
#pragma once

#include <cstdio>

#include "tools/reader/block_source.h"

namespace korvanel::tools {

// Looks at the block for about a second and writes what it found and what
// to do about it to `out`. Returns 0 when the plugin is publishing, 1 when
// it is loaded but not publishing (or of an unknown layout), or when the
// block is refused (another user's, not a file, too small) or lost while
// read, 2 when there is no plugin.
int checkPlugin(BlockSource& block, std::FILE* out);

}  // namespace korvanel::tools

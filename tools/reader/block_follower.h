// Following the plugin's block through restarts of the host. A reader that
// keeps a block mapped goes on seeing the old host's last picture when a
// restarted host publishes elsewhere under the same name (a Windows mapping
// kept alive by the reader's handle, a file the plugin could not reuse).
// The follower opens the name afresh while the block it holds stands still,
// so every reader of the tools follows a new host alike.
#pragma once

#include <cstdint>

#include "tools/reader/block_source.h"

namespace korvanel::tools {

// One look at the block through a BlockFollower.
struct BlockReading {
  bool open = false;                        // `out` holds a copy; the source is open
  OpenResult opened = OpenResult::kAbsent;  // the latest open: why there is no copy
  bool copied = false;                      // a copy was tried: the source was open
  CopyResult copy;                          // of that copy
  bool moved = false;  // the first copy, or the plugin published since the last
  bool idle = false;   // open, but nothing published for kIdleSeconds
};

class BlockFollower {
 public:
  // Without an update for this long the plugin counts as idle and the name
  // is opened afresh, at most once per kReopenSeconds.
  static constexpr double kIdleSeconds = 2.0;
  static constexpr double kReopenSeconds = 1.0;

  // `source` outlives the follower; it may be open already.
  explicit BlockFollower(BlockSource& source) : source_(source) {}

  // Copies the block into `out` at `now` (monotonic seconds, never going
  // back), opening the name first when the source is closed or idle. The
  // same block opened again keeps its update counter, so it stays idle; a
  // restarted host's counter has moved.
  BlockReading read(KorvanelSharedBlock& out, double now);

 private:
  BlockSource& source_;
  OpenResult lastOpen_ = OpenResult::kOpen;
  double lastOpenTry_ = -1e9;
  double lastChange_ = 0.0;
  bool haveLast_ = false;
  int32_t lastUpdate_ = 0;
  uint32_t lastSequence_ = 0;
};

}  // namespace korvanel::tools

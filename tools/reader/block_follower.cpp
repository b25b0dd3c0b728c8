// The update and sequence counters tell a publishing plugin from a block
// that stands still.
#include "tools/reader/block_follower.h"

namespace korvanel::tools {

BlockReading BlockFollower::read(KorvanelSharedBlock& out, double now) {
  BlockReading reading;
  bool stale = source_.isOpen() && haveLast_ && now - lastChange_ > kIdleSeconds;
  if ((!source_.isOpen() || stale) && now - lastOpenTry_ >= kReopenSeconds) {
    lastOpenTry_ = now;
    lastOpen_ = source_.open();
  }
  if (source_.isOpen()) {
    // A block that shrank or was replaced is reopened by the copy, or left
    // closed when nothing readable is there any more.
    reading.copied = true;
    reading.copy = source_.copy(out);
  }
  reading.opened = source_.isOpen() ? OpenResult::kOpen : lastOpen_;
  if (!source_.isOpen()) return reading;
  reading.open = true;
  reading.moved =
      !haveLast_ || out.state.updateCount != lastUpdate_ || reading.copy.sequence != lastSequence_;
  if (reading.moved || !haveLast_) lastChange_ = now;
  reading.idle = now - lastChange_ > kIdleSeconds;
  haveLast_ = true;
  lastUpdate_ = out.state.updateCount;
  lastSequence_ = reading.copy.sequence;
  return reading;
}

}  // namespace korvanel::tools

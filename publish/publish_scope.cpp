// The copy-in, lock and copy-out scope of the host's calls.
#include "publish/publish_scope.h"

#include "platform/platform.h"
#include "publish/data_lock.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"

namespace korvanel {

PublishScope::PublishScope(Kind kind) : kind_(kind), block_(sharedBlock()), locked_(false) {
  if (kind_ == Kind::kSessionEnd) {
    locked_ = block_ != nullptr && platform::lockTryEnter(dataLock());
    return;
  }
  if (kind_ == Kind::kUpdate) copyStateIn();
  locked_ = waitForLock(dataLock());
}

const DisplayCommands& PublishScope::commands() {
  if (commandsRead_ || kind_ != Kind::kUpdate) return commands_;
  commandsRead_ = true;
  const HostState& state = hostState();
  commands_.kersTimerOn = state.kersTimerOn;
  commands_.kersRunning = state.kersRunning;
  if (block_ != nullptr) {
    commands_.distanceReset = block_->state.distanceResetCommand;
    commands_.selectedClassRow = block_->state.selectedClassRow;
  }
  return commands_;
}

void PublishScope::beginWrites() {
  if (block_ != nullptr && !write_) write_.emplace(block_);
}

PublishScope::~PublishScope() {
  if (kind_ != Kind::kSessionEnd || locked_) {
    beginWrites();
    if (kind_ == Kind::kUpdate) {
      copyStateOutFromUpdate();
    } else {
      copyStateOut();
    }
  }
  write_.reset();
  if (locked_) platform::lockLeave(dataLock());
}

}  // namespace korvanel

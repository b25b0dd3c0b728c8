// One host call's stretch of work on the published state record: the copy
// in from the block, the data lock, and the copy back out, as a scope.
#pragma once

#include <cstdint>
#include <optional>

#include "publish/block_write.h"
#include "publish/shared_block_layout.h"

namespace korvanel {

// The bytes a display program writes into the block's state record to
// command the plugin, read once per update just before the first step that
// acts on them (so a command written until then still counts).
struct DisplayCommands {
  uint8_t distanceReset = 0;     // from the block; 0 without one
  uint8_t selectedClassRow = 0;  // from the block; 0 without one
  uint8_t kersTimerOn = 0;       // from the state record as copied in
  uint8_t kersRunning = 0;       // from the state record as copied in
};

class PublishScope {
 public:
  enum class Kind {
    // An update cycle: copies the state record in from the block and waits
    // for the data lock (waitForLock); at the end copies out every byte but
    // the commands (copyStateOutFromUpdate), with the lock or without.
    kUpdate,
    // Session start: waits for the lock as an update does, copies nothing
    // in; at the end copies the whole state record out.
    kSessionStart,
    // Session end: one try at the lock, nothing copied in; at the end the
    // whole state record is copied out only if the lock was taken, so that
    // the host's last call never waits on a reader.
    kSessionEnd,
  };

  explicit PublishScope(Kind kind);
  // Copies out as its kind says, inside the block's write (opened then if
  // beginWrites was not called and the copy out writes the block), closes
  // the write, then leaves the lock if it was taken.
  ~PublishScope();
  PublishScope(const PublishScope&) = delete;
  PublishScope& operator=(const PublishScope&) = delete;

  // The mapped block, or null when there is none.
  SharedBlock* block() const { return block_; }
  // The commands of this update, read from the block at the first call;
  // all 0 outside kUpdate.
  const DisplayCommands& commands();
  // Whether the data lock was taken (the scope then leaves it).
  bool locked() const { return locked_; }
  // Opens the block's write (the sequence counter odd, see BlockWrite)
  // before the call's first write into the block; it lasts to the end of
  // the copy out. Does nothing without a block or when already open.
  void beginWrites();

 private:
  Kind kind_;
  SharedBlock* block_;
  bool locked_;
  DisplayCommands commands_;
  bool commandsRead_ = false;
  std::optional<BlockWrite> write_;
};

}  // namespace korvanel

// The module's mapping of the named shared block, and the copies of the
// state record between the shared section and the block.
#pragma once

#include "publish/shared_block_layout.h"

namespace korvanel {

class PluginLog;

// The mapped block, or null when there is none.
SharedBlock* sharedBlock();

// Creates (or opens) and maps the block, stores the data lock's address in
// it, zeroes the state record and copies it out. On failure logs
// "ERROR CreateFileMapping: " or "ERROR MapViewOfFile: " with the system's
// code and leaves the module without a block. When the platform had to keep
// the block where native programs of the system cannot map it (under Wine:
// outside /dev/shm), logs "Shared block not visible to Linux programs: " and
// why. Returns whether a block exists.
bool createSharedBlock(PluginLog* log);

// Keeps the block and the state section whole for the call about to touch
// them, which calls it first (a reader may have shrunk them): the sizes are
// checked and restored after a caught fault and at most once a second
// otherwise. Logs "ERROR shared block shrunk: " with its size, once, when the
// block had to become this process's own memory.
void keepSharedBlockWhole();

// Unmaps and closes the block, if any.
void releaseSharedBlock();

// The state record from the in-process copy into the block, and back; both
// do nothing without a block.
void copyStateOut();
void copyStateIn();

// The update cycles' copy out: every byte but the four a display program
// writes (distanceResetCommand, selectedClassRow, kersTimerOn, kersRunning)
// at any moment, which stay as they are in the block: copying older values
// back would undo a command unseen. The cycles clear a reset command in the
// block themselves.
void copyStateOutFromUpdate();

}  // namespace korvanel

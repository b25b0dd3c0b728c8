// Under Wine, the shared block lives in a file of the Unix /dev/shm, so that
// native Linux programs map the same memory that Windows readers in the
// prefix open by name. Internal to the Windows platform layer.
#pragma once

#include <cstdint>

namespace korvanel::platform {

// When running under Wine, opens or creates the file /dev/shm/`objectName`
// (seen as Z:\dev\shm\...), makes sure it is a regular file of this user
// that is not a link and holds at least `size` bytes, and returns a named
// mapping of `objectName` on it (a HANDLE). Returns null when not under Wine
// or when anything is unusual; in the latter case the file is left as it was
// and the reason is noted for the log (noteSharedBlockFallback). A file it
// created is removed again when it gives up.
void* createWineFileMapping(const char* objectName, uint32_t size);

// Ties the mapping returned by the last createWineFileMapping to `view`, so
// that releasing the view can remove the file. Call right after the view was
// mapped; `view` null means the view failed, and the file is let go at once.
void adoptWineFile(void* view);

// After `view` was unmapped and its mapping closed: removes the file if
// this process created it and no process in the prefix still has the
// mapping open; closes the file either way. Does nothing for other views.
void releaseWineFile(void* view);

// Lets go of every file this process still holds, as releaseWineFile does,
// while the views stay mapped: for a process that ends without releasing its
// blocks, such as a test, and leaves nothing behind in /dev/shm.
void releaseAllWineFiles();

// True when this process runs under Wine.
bool runningUnderWine();

}  // namespace korvanel::platform

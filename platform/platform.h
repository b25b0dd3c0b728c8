// The small interface that isolates the plugin from the operating system:
// a millisecond tick, the data lock, the named shared block, the section
// shared by every process that loads the library, and file helpers.
// One implementation per platform; the build picks which.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanel::platform {

// ---- Clock ----------------------------------------------------------------

// Milliseconds of the system's monotonic tick counter, truncated to 32 bits
// (so it wraps after about 49.7 days; compare ticks by unsigned difference).
uint32_t tickCount();

// Tests replace the tick source to step time without sleeping; null restores
// the system clock.
using TickSource = uint32_t (*)();
void setTickSourceForTesting(TickSource source);

// Gives up the processor for about `ms` milliseconds; 0 only yields it to
// another thread that is ready to run.
void pause(uint32_t ms);

// ---- Data lock --------------------------------------------------------------

// Opaque storage for the platform's lock (a critical section on Windows, so
// its address is what in-process readers enter).
struct alignas(8) LockStorage {
  unsigned char bytes[64];
};

void lockInit(LockStorage& lock);
// Enters without blocking. Returns false when another thread holds the lock.
bool lockTryEnter(LockStorage& lock);
// Enters, blocking as long as it takes.
void lockEnter(LockStorage& lock);
// REQUIRES: the calling thread holds the lock.
void lockLeave(LockStorage& lock);

// ---- Named shared block -----------------------------------------------------

struct SharedMapping {
  void* view = nullptr;
  uintptr_t handle = 0;  // 0 when there is none
  uint32_t size = 0;
};

enum class MapResult { kOk, kCreateFailed, kMapFailed };

// Creates the named block of `size` bytes backed by memory (or opens it when
// it exists, keeping its contents) and maps it whole, read and write.
// On failure `out` stays empty, nothing stays open, and `errorCode` holds the
// system's error code.
MapResult createSharedBlock(const char* name, uint32_t size, SharedMapping& out,
                            int32_t& errorCode);
// Opens an existing block only (for readers). Returns false when it does not
// exist or cannot be mapped.
bool openSharedBlock(const char* name, uint32_t size, SharedMapping& out);
// Whether the mapped block (and the shared section) can still be written
// without a fault: on POSIX systems another process may shrink the objects
// under the mapping, and touching a page past their new end would kill the
// host. A shrunk object is grown back to its size; one that cannot be is
// replaced under the same address by memory of this process alone (the
// plugin goes on, unseen by readers) and false comes back. Cheap enough for
// every update: one fstat per object. Always true where objects cannot
// shrink under a mapping.
bool sharedObjectsIntact(SharedMapping& mapping);

// Unmaps the view and closes the handle, whichever exist; empties `mapping`.
void releaseSharedBlock(SharedMapping& mapping);

// Why the latest createSharedBlock could not put the block where native
// programs of the system see it too and used the plain named block instead
// (under Wine: the file in /dev/shm). Null when there is nothing to say;
// each reason is returned once.
const char* takeSharedBlockFallbackReason();

// The name under which `name` is actually created: tests and tools running in
// parallel set KORVANEL_NAME_SUFFIX (or call setNameSuffix) so that their
// blocks do not meet. Returns `out`.
const char* effectiveObjectName(const char* name, char* out, size_t outSize);
void setNameSuffix(const char* suffix);

// Tests make the next createSharedBlock fail at `stage` with `errorCode`.
void failNextSharedBlockForTesting(MapResult stage, int32_t errorCode);

// ---- Section shared by all processes that load the library -------------------

// Bytes the section can hold.
constexpr size_t kSharedSectionCapacity = 64;

// The first `size` bytes (at most kSharedSectionCapacity) of memory shared by
// every process that loads the library, 8-byte aligned; what they hold is the
// caller's business. The first call of all processes since the section came
// into being fills it with the `size` bytes at `firstContents`; every later
// call, in any process, returns it as it is. Every call passes the same
// `size`. Never null: without a shared object the memory is this process's.
void* sharedSection(size_t size, const void* firstContents);

// ---- Files ------------------------------------------------------------------

// Turns one of the plugin's relative host paths ("Plugins\\KORVANEL\\x.txt")
// into a path the C library can open here. On systems whose file names
// respect case, each folder and file name is matched against what exists
// regardless of case. The result is cut to fit `outSize`, always terminated.
void hostPath(const char* path, char* out, size_t outSize);

// Makes `contents` the whole new content of the file at native path `path`
// in one step: written beside it into a temporary file whose name no other
// process uses at the same time, flushed to disk, and moved over the old
// file. A missing folder is created first. Returns false on any failure,
// with the system's error code in `errorCode` when given; the old file then
// stays as it was and no temporary file is left behind.
bool writeFileAtomically(const char* path, const void* contents, size_t size,
                         int32_t* errorCode = nullptr);

// Writes `contents` over the file at native path `path` where it lies,
// sharing it with readers that hold it open (which may stop a replacement
// by writeFileAtomically on some systems), and flushes it to disk. Not
// atomic: a caller that needs to survive a crash part way keeps a copy
// elsewhere first. Returns 0 or the system's error code.
int32_t overwriteFileInPlace(const char* path, const void* contents, size_t size);

// Whether `errorCode` from writeFileAtomically says that the replacement was
// refused because the file is held open by another program (possible on
// Windows, never on POSIX systems): overwriteFileInPlace may still work.
bool refusedWhileHeldOpen(int32_t errorCode);

// Removes the file at native path `path`. Returns false when it could not be
// removed; a missing file counts as removed.
bool removeFile(const char* path);

// Whether a file (or anything else) exists at native path `path`.
bool fileExists(const char* path);

// An exclusive lock between processes, held through a lock file. Empty when
// not held.
struct FileLock {
  intptr_t handle = -1;
};

// Takes the lock that every process saving into the file at native path
// `path` takes around its read, change and write (held on the file's folder,
// or on a lock file beside the file that goes with the lock; a missing
// folder is created), trying for at most about `timeoutMs` without burning
// the processor. Returns 0, or the system's error code when it was not
// taken. The system drops the lock when the process ends, however it ends.
int32_t takeFileLock(const char* path, uint32_t timeoutMs, FileLock& lock);
// Lets go of a lock that takeFileLock took; does nothing to an empty one.
void releaseFileLock(FileLock& lock);

// Steps of writeFileAtomically that tests can make fail: 1 create the
// temporary file, 2 write, 3 flush to disk, 4 close, 5 replace. 0 disables.
void failFileStepForTesting(int step);

}  // namespace korvanel::platform

namespace korvanel::platform {

// Removes this process's named objects (block and shared section) from the
// system once nothing needs them; tests call it at exit. No-op where the
// system removes them with their last handle.
void unlinkNamedObjects();

}  // namespace korvanel::platform

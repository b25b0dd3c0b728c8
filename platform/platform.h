// The small interface that isolates the plugin from the operating system:
// a millisecond tick, the data lock, the named shared block, the section
// shared by every process that loads the library, and file helpers.
// One implementation per platform; the build picks which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/unique_owner.h"

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

// ---- Results ----------------------------------------------------------------

// What a call into the system that can fail returns: success, or failure
// with the system's own error code (errno; GetLastError on Windows) of the
// step that failed. The platform only turns the system's error into this;
// the caller reports it, once, in its own words.
class Status {
 public:
  // Success.
  Status() = default;
  static Status failure(int32_t errorCode) { return Status(true, errorCode); }

  bool ok() const { return !failed_; }
  // The system's code of the failed step; 0 on success.
  int32_t errorCode() const { return errorCode_; }

 private:
  Status(bool failed, int32_t errorCode) : failed_(failed), errorCode_(errorCode) {}
  bool failed_ = false;
  int32_t errorCode_ = 0;
};

// ---- Named shared block -----------------------------------------------------

// This process's mapping of a named shared block: owns the view and the
// system's handle on the block and lets go of both, once, when destroyed
// or reset. Move-only; empty when made, moved from or reset.
class SharedMapping {
 public:
  SharedMapping() = default;
  ~SharedMapping() { reset(); }
  SharedMapping(SharedMapping&& other) noexcept { take(other); }
  SharedMapping& operator=(SharedMapping&& other) noexcept {
    if (this != &other) {
      reset();
      take(other);
    }
    return *this;
  }
  SharedMapping(const SharedMapping&) = delete;
  SharedMapping& operator=(const SharedMapping&) = delete;

  // The mapped bytes, or null when empty.
  void* view() const { return view_; }
  uint32_t size() const { return size_; }
  // Whether the system's object still lies behind the view: false when
  // empty, and once sharedObjectsIntact had to give the object up.
  bool hasObject() const { return handle_ != 0; }

  // Unmaps the view and closes the handle, whichever exist; empties it.
  void reset();

 private:
  friend struct SharedMappingAccess;  // the platform implementations
  void take(SharedMapping& other) {
    view_ = other.view_;
    handle_ = other.handle_;
    size_ = other.size_;
    other.view_ = nullptr;
    other.handle_ = 0;
    other.size_ = 0;
  }

  void* view_ = nullptr;
  uintptr_t handle_ = 0;  // the system's handle, encoded by the platform; 0 when none
  uint32_t size_ = 0;
};

// How far createSharedBlock got.
enum class MapResult { kOk, kCreateFailed, kMapFailed };

// What createSharedBlock returns: how far it got and, when it failed, the
// system's error code of that step.
struct SharedBlockStatus {
  MapResult result = MapResult::kOk;
  int32_t errorCode = 0;

  bool ok() const { return result == MapResult::kOk; }
};

// Creates the named block of `size` bytes backed by memory (or opens it when
// it exists, keeping its contents) and maps it whole, read and write, into
// `out` (emptied first). On failure `out` stays empty and nothing stays open.
SharedBlockStatus createSharedBlock(const char* name, uint32_t size, SharedMapping& out);
// Opens an existing block only (for readers), into `out` (emptied first).
// Fails when it does not exist, is smaller than `size` or cannot be mapped.
Status openSharedBlock(const char* name, uint32_t size, SharedMapping& out);
// Whether the mapped block (and the shared section) can still be written
// without a fault: on POSIX systems another process may shrink the objects
// under the mapping, and touching a page past their new end would kill the
// host. A shrunk object is grown back to its size; one that cannot be is
// replaced under the same address by memory of this process alone (the
// plugin goes on, unseen by readers; `mapping` then has no object) and
// false comes back. One fstat per object: a system call, so not for every
// call of the host. Always true where objects cannot shrink under a mapping.
bool sharedObjectsIntact(SharedMapping& mapping);
// Whether a touch of a page that another process cut from the block made by
// createSharedBlock, or from the shared section, was caught since the last
// call (and the object grown back, or the view given memory of this process
// alone, and the touch done again); clears the note. Between calls of
// sharedObjectsIntact this guard keeps such a cut from killing the host.
// Always false where objects cannot shrink under a mapping.
bool takeSharedObjectFault();

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

// How reading a whole file went.
enum class FileRead {
  kRead,      // the text was read
  kMissing,   // no such file: empty text
  kTooLarge,  // longer than the limit: not read
  kFailed,    // there, but could not be read: the error code says why
};

// The error code readFile gives for something that is not a regular file
// (a pipe, a device, a folder): such a thing could block the reader for
// ever or feed it without end, so it is never opened for reading.
int32_t notRegularFileError();

// Reads the whole regular file at native path `path` into `out`, byte for
// byte, when it holds at most `maxSize` bytes; `out` is empty unless the
// result is kRead. Never blocks on what is not a regular file: that is
// refused with notRegularFileError().
FileRead readFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode);

// Opens the regular file at native path `path` for writing text from the
// start (created when missing, emptied when there), without blocking on
// something that is not a regular file: that is refused, with null.
std::FILE* openFileForWriting(const char* path);

// The file that a write to native path `path` lands in: `path` itself, or,
// when it is a symbolic link, the file the link leads to (through any chain
// of links; a relative link counts from its own folder), so that a
// replacement made beside the result updates what the link points at
// instead of putting a plain file in the link's place. Fails, with the
// system's code, on a loop or a link that cannot be read. On POSIX systems
// the target need not exist; on Windows the system resolves the link and a
// link that leads nowhere fails.
Status resolveLinks(const char* path, char* out, size_t outSize);

// Renames the file at native path `from` to `to`, replacing a file there.
Status renameFile(const char* from, const char* to);

// Turns one of the plugin's relative host paths ("Plugins\\KORVANEL\\x.txt")
// into a path the C library can open here. On systems whose file names
// respect case, each folder and file name is matched against what exists
// regardless of case. The result is cut to fit `outSize`, always terminated.
void hostPath(const char* path, char* out, size_t outSize);

// Makes `contents` the whole new content of the file at native path `path`
// in one step: written beside it into a temporary file whose name no other
// process uses at the same time, flushed to disk, and moved over the old
// file. A missing folder is created first. On any failure, with the
// system's code of the failed step, the old file stays as it was and no
// temporary file is left behind.
Status writeFileAtomically(const char* path, const void* contents, size_t size);

// Writes `contents` over the file at native path `path` where it lies,
// sharing it with readers that hold it open (which may stop a replacement
// by writeFileAtomically on some systems), and flushes it to disk. Not
// atomic: a caller that needs to survive a crash part way keeps a copy
// elsewhere first.
Status overwriteFileInPlace(const char* path, const void* contents, size_t size);

// Whether `errorCode` from writeFileAtomically says that the replacement was
// refused because the file is held open by another program (possible on
// Windows, never on POSIX systems): overwriteFileInPlace may still work.
bool refusedWhileHeldOpen(int32_t errorCode);

// Removes the file at native path `path`; a missing file counts as removed.
Status removeFile(const char* path);

// Whether a file (or anything else) exists at native path `path`.
bool fileExists(const char* path);

// The system's handle that holds an exclusive lock between processes.
struct FileLockTraits {
  using Handle = intptr_t;
  static Handle empty() { return -1; }
  static bool isEmpty(Handle handle) { return handle == -1; }
  // Drops the lock with its handle.
  static bool close(Handle handle);
};

// An exclusive lock between processes, held through a file's handle and
// let go of once, when the owner is destroyed or reset. Empty when not held.
using FileLock = UniqueOwner<FileLockTraits>;

// Takes the lock that every process saving into the file at native path
// `path` takes around its read, change and write (held on the file's folder,
// or on a lock file beside the file that goes with the lock; a missing
// folder is created), trying for at most about `timeoutMs` without burning
// the processor; `lock` lets go of any lock it held first. Fails with the
// system's code when it was not taken. The system drops the lock when the
// process ends, however it ends.
Status takeFileLock(const char* path, uint32_t timeoutMs, FileLock& lock);

// Steps of writeFileAtomically that tests can make fail: 1 create the
// temporary file, 2 write, 3 flush to disk, 4 close, 5 replace. 0 disables.
void failFileStepForTesting(int step);

}  // namespace korvanel::platform

namespace korvanel::platform {

// Removes this process's named objects (block and shared section) from the
// system once nothing needs them; tests call it at exit. No-op where the
// system removes them with their last handle.
void unlinkNamedObjects();

// Removes the named block `name` (suffix applied) from the system; tests
// call it for the blocks they made under their own names. No-op where the
// system removes it with its last handle.
void unlinkSharedBlock(const char* name);

}  // namespace korvanel::platform

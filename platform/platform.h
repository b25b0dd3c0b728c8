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
// or reset. Empty when made or reset.
class SharedMapping {
 public:
  SharedMapping() = default;
  ~SharedMapping() { reset(); }
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
// Whether the mapped block and the shared section can still be written
// without a fault (on POSIX systems another process may shrink them). A
// shrunk object is grown back; one that cannot be is replaced under the same
// address by memory of this process alone (`mapping` then has no object)
// and false comes back. A system call per object: not for every host call.
bool sharedObjectsIntact(SharedMapping& mapping);
// Whether, since the last call, a touch of a page that another process cut
// from the block or the shared section was caught, mended as
// sharedObjectsIntact would, and done again; clears the note. Always false
// where objects cannot shrink under a mapping.
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

// Reads the whole regular file at native path `path` into `out`, byte for
// byte, when it holds at most `maxSize` bytes; `out` is empty unless the
// result is kRead. What is not a regular file (a pipe, a device, a folder)
// could block the reader for ever: it is refused (kFailed) unopened.
FileRead readFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode);

// Opens the regular file at native path `path` for writing text from the
// start (created when missing, emptied when there), without blocking on
// something that is not a regular file: that is refused, with null.
std::FILE* openFileForWriting(const char* path);

// The file that a write to native path `path` lands in: `path` itself or the
// file a chain of symbolic links leads to (a relative link counts from its
// own folder), so that a replacement beside it keeps the link. Fails with the
// system's code on a loop or an unreadable link; on Windows also on a link
// that leads nowhere.
Status resolveLinks(const char* path, char* out, size_t outSize);

// Renames the file at native path `from` to `to`, replacing a file there.
Status renameFile(const char* from, const char* to);

// Turns one of the plugin's relative host paths ("Plugins\\KORVANEL\\x.txt")
// into a path the C library can open here. On systems whose file names
// respect case, each folder and file name is matched against what exists
// regardless of case. The result is cut to fit `outSize`, always terminated.
void hostPath(const char* path, char* out, size_t outSize);

// Makes `contents` the whole new content of the file at native path `path`
// in one step: a temporary file of a name unique to this process is written
// beside it, flushed to disk and moved over it (a missing folder is made).
// On failure, with the system's code, the old file and no temporary remain.
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

// Takes the lock every process saving into the file at native path `path`
// takes around its read, change and write (on the folder or a lock file
// beside; a missing folder is made), trying for about `timeoutMs` at most
// without burning the processor; `lock` lets go of what it held first.
// Fails with the system's code. The system drops it when the process ends.
Status takeFileLock(const char* path, uint32_t timeoutMs, FileLock& lock);

// Steps of writeFileAtomically that tests can make fail: 1 create the
// temporary file, 2 write, 3 flush to disk, 4 close, 5 replace. 0 disables.
void failFileStepForTesting(int step);

// Removes this process's named objects (block and shared section) from the
// system once nothing needs them; tests call it at exit. No-op where the
// system removes them with their last handle.
void unlinkNamedObjects();

// Removes the named block `name` (suffix applied) from the system; tests
// call it for the blocks they made under their own names. No-op where the
// system removes it with its last handle.
void unlinkSharedBlock(const char* name);

}  // namespace korvanel::platform

// Windows implementation of the platform interface: a paging-file mapping
// for the shared block, a critical section for the data lock, GetTickCount,
// a data section shared between processes, MoveFileEx for atomic saves.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform_common.h"
#include "platform/win32/win32_owners.h"
#include "platform/win32/win32_wine_shm.h"

namespace korvanel::platform {

uint32_t systemTickCount() { return GetTickCount(); }

void pause(uint32_t ms) { Sleep(ms); }

// ---- Lock -------------------------------------------------------------------

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(LockStorage));
static_assert(alignof(CRITICAL_SECTION) <= alignof(LockStorage));

static CRITICAL_SECTION* sectionOf(LockStorage& lock) {
  return reinterpret_cast<CRITICAL_SECTION*>(lock.bytes);
}

void lockInit(LockStorage& lock) { InitializeCriticalSection(sectionOf(lock)); }

bool lockTryEnter(LockStorage& lock) { return TryEnterCriticalSection(sectionOf(lock)) != 0; }

void lockEnter(LockStorage& lock) { EnterCriticalSection(sectionOf(lock)); }

void lockLeave(LockStorage& lock) { LeaveCriticalSection(sectionOf(lock)); }

// ---- Shared block -----------------------------------------------------------

SharedBlockStatus createSharedBlock(const char* name, uint32_t size, SharedMapping& out) {
  out.reset();
  SharedBlockStatus status;
  if (takeInjectedMapFailure(status.result, status.errorCode)) return status;

  char effective[256];
  effectiveObjectName(name, effective, sizeof effective);
  // Under Wine the block is a file in /dev/shm when that is sound; the
  // paging file otherwise, as on Windows.
  UniqueHandle handle(createWineFileMapping(effective, size));
  if (!handle) {
    handle.reset(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, effective));
  }
  if (!handle) return {MapResult::kCreateFailed, static_cast<int32_t>(GetLastError())};
  MappedView view(MapViewOfFile(handle.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
  if (!view) {
    status = {MapResult::kMapFailed, static_cast<int32_t>(GetLastError())};
    // The mapping goes before its file, which cannot go while mapped.
    handle.reset();
    adoptWineFile(nullptr);
    return status;
  }
  adoptWineFile(view.get());
  SharedMappingAccess::adopt(out, view.release(), reinterpret_cast<uintptr_t>(handle.release()),
                             size);
  return status;
}

bool sharedObjectsIntact(SharedMapping&) { return true; }

bool takeSharedObjectFault() { return false; }

void SharedMapping::reset() {
  void* view;
  uintptr_t handle;
  uint32_t size;
  SharedMappingAccess::releaseAll(*this, view, handle, size);
  {
    // Declared in this order, the view goes before its mapping.
    UniqueHandle mapping(reinterpret_cast<HANDLE>(handle));
    MappedView mapped(view);
  }
  // Then the file under the mapping, if it was one in /dev/shm.
  releaseWineFile(view);
}

// ---- Shared section ---------------------------------------------------------

// One copy for every process that loads the library: the linker marks the
// section shared. It must be initialised data to land in the section, so the
// state that says whether it was filled starts at a value other than zero.
namespace {

constexpr LONG kUnfilled = 1;
constexpr LONG kFilling = 2;
constexpr LONG kFilled = 3;

struct Section {
  volatile LONG fill;
  alignas(8) unsigned char bytes[kSharedSectionCapacity];
};

}  // namespace

__attribute__((section(".korvsh"), shared)) Section gSharedSection = {kUnfilled, {0}};

void* sharedSection(size_t size, const void* firstContents) {
  Section& s = gSharedSection;
  if (s.fill == kFilled) return s.bytes;
  if (size > kSharedSectionCapacity) size = kSharedSectionCapacity;
  if (InterlockedCompareExchange(&s.fill, kFilling, kUnfilled) == kUnfilled) {
    std::memcpy(s.bytes, firstContents, size);
    InterlockedExchange(&s.fill, kFilled);
  } else {
    // Another process is filling it: a copy of a few bytes, but that process
    // may die halfway, so the wait is bounded.
    for (int i = 0; i < 1000 && InterlockedCompareExchange(&s.fill, kFilled, kFilled) != kFilled;
         ++i) {
      Sleep(1);
    }
  }
  return s.bytes;
}

// ---- Files ------------------------------------------------------------------

void hostPath(const char* path, char* out, size_t outSize) {
  if (outSize == 0) return;
  std::snprintf(out, outSize, "%s", path);
}

namespace {

// Creates every missing folder on the way to the file at `path`.
void createFoldersFor(const char* path) {
  char partial[MAX_PATH + 8];
  std::snprintf(partial, sizeof partial, "%s", path);
  for (char* p = partial + 1; *p; ++p) {
    if (*p != '\\' && *p != '/') continue;
    char keep = *p;
    *p = 0;
    CreateDirectoryA(partial, nullptr);
    *p = keep;
  }
}

bool missingFolder(DWORD code) { return code == ERROR_PATH_NOT_FOUND; }

bool writeAll(HANDLE file, const char* p, size_t left) {
  while (left > 0) {
    DWORD chunk = left > 0x100000 ? 0x100000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    left -= written;
  }
  return true;
}

// The error code of a failed step; an injected failure has none of its own.
int32_t lastError() {
  DWORD code = GetLastError();
  return static_cast<int32_t>(code != 0 ? code : ERROR_WRITE_FAULT);
}

// Removes the temporary files beside `path` of writers that were killed
// before they could remove them: processes that no longer run.
void removeDeadWritersFiles(const char* path) {
  char pattern[MAX_PATH + 16];
  std::snprintf(pattern, sizeof pattern, "%s.*.tmp", path);
  const char* slash = std::strrchr(path, '\\');
  const char* slash2 = std::strrchr(path, '/');
  if (slash2 > slash) slash = slash2;
  size_t folderLen = slash ? static_cast<size_t>(slash - path + 1) : 0;
  const char* base = path + folderLen;
  size_t baseLen = std::strlen(base);
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA(pattern, &found));
  if (!find) return;
  do {
    unsigned long pid = 0;
    long serial = 0;
    char tail[8] = "";
    if (std::strlen(found.cFileName) <= baseLen ||
        std::sscanf(found.cFileName + baseLen, ".%lu.%ld.%7s", &pid, &serial, tail) != 3 ||
        std::strcmp(tail, "tmp") != 0 || pid == GetCurrentProcessId()) {
      continue;
    }
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    bool running = process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    process.reset();
    if (!running) {
      char full[2 * MAX_PATH];
      std::snprintf(full, sizeof full, "%.*s%s", static_cast<int>(folderLen), path,
                    found.cFileName);
      DeleteFileA(full);
    }
  } while (FindNextFileA(find.get(), &found));
}

}  // namespace

Status writeFileAtomically(const char* path, const void* contents, size_t size) {
  // A name no other process or thread uses now: two hosts saving into one
  // folder must never write into each other's temporary file.
  static volatile LONG counter = 0;
  char temp[MAX_PATH + 40];
  std::snprintf(temp, sizeof temp, "%s.%lu.%ld.tmp", path,
                static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<long>(InterlockedIncrement(&counter)));
  SetLastError(0);
  UniqueHandle file;
  if (!injectedFileFailure(1)) {
    file.reset(
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && missingFolder(GetLastError())) {
      createFoldersFor(path);
      file.reset(
          CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }
  if (!file) return Status::failure(lastError());
  SetLastError(0);
  int32_t code = 0;
  bool ok =
      !injectedFileFailure(2) && writeAll(file.get(), static_cast<const char*>(contents), size);
  if (ok && (injectedFileFailure(3) || !FlushFileBuffers(file.get()))) ok = false;
  if (!ok) code = lastError();
  // Closed before the move: an open file cannot be moved over the old one.
  if (!file.close() || injectedFileFailure(4)) {
    if (ok) code = lastError();
    ok = false;
  }
  if (ok && (injectedFileFailure(5) ||
             !MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
    code = lastError();
    ok = false;
  }
  if (!ok) {
    DeleteFileA(temp);
    return Status::failure(code);
  }
  removeDeadWritersFiles(path);
  return Status();
}

namespace {

// What readFile gives for what is not a regular file.
constexpr DWORD kNotRegularFile = ERROR_BAD_FILE_TYPE;

// Opens `path` with `access` and `disposition`, shared every way so that a
// reader that allowed writing keeps its handle and we still get in, and
// keeps it only when it is a file on disk: a pipe, a console or another
// device is refused with kNotRegularFile in GetLastError.
UniqueHandle openRegular(const char* path, DWORD access, DWORD disposition) {
  UniqueHandle file(CreateFileA(path, access,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && GetFileType(file.get()) != FILE_TYPE_DISK) {
    file.reset();
    SetLastError(kNotRegularFile);
  }
  return file;
}

}  // namespace

FileRead readFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode) {
  out.clear();
  errorCode = 0;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errorCode = static_cast<int32_t>(kNotRegularFile);
    return FileRead::kFailed;
  }
  UniqueHandle file = openRegular(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FileRead::kMissing;
    errorCode = lastError();
    return FileRead::kFailed;
  }
  LARGE_INTEGER length;
  if (GetFileSizeEx(file.get(), &length) && static_cast<uint64_t>(length.QuadPart) > maxSize) {
    return FileRead::kTooLarge;
  }
  char buffer[16384];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
      errorCode = lastError();
      out.clear();
      return FileRead::kFailed;
    }
    if (n == 0) return FileRead::kRead;
    if (out.size() + n > maxSize) {
      out.clear();
      return FileRead::kTooLarge;
    }
    out.append(buffer, n);
  }
}

std::FILE* openFileForWriting(const char* path) {
  // A file name cannot be a pipe here, but it can name a device.
  UniqueHandle probe = openRegular(path, GENERIC_WRITE, OPEN_ALWAYS);
  if (!probe) return nullptr;
  probe.reset();
  return std::fopen(path, "w");
}

Status resolveLinks(const char* path, char* out, size_t outSize) {
  std::snprintf(out, outSize, "%s", path);
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return Status();
  }
  // A link: the file it leads to, as the system names it. A link that leads
  // nowhere cannot be opened and fails here.
  UniqueHandle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return Status::failure(lastError());
  char target[MAX_PATH + 16];
  DWORD length = GetFinalPathNameByHandleA(file.get(), target, sizeof target,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0) return Status::failure(lastError());
  if (length >= sizeof target) return Status::failure(ERROR_FILENAME_EXCED_RANGE);
  // Without the long-path prefix, which the rest of the path handling and
  // the temporary names beside it do not expect.
  if (std::strncmp(target, "\\\\?\\UNC\\", 8) == 0) {
    std::snprintf(out, outSize, "\\\\%s", target + 8);
  } else if (std::strncmp(target, "\\\\?\\", 4) == 0) {
    std::snprintf(out, outSize, "%s", target + 4);
  } else {
    std::snprintf(out, outSize, "%s", target);
  }
  return Status();
}

Status renameFile(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return Status();
  return Status::failure(lastError());
}

Status overwriteFileInPlace(const char* path, const void* contents, size_t size) {
  UniqueHandle file = openRegular(path, GENERIC_WRITE, OPEN_ALWAYS);
  if (!file) return Status::failure(lastError());
  if (!writeAll(file.get(), static_cast<const char*>(contents), size) ||
      !SetEndOfFile(file.get()) || !FlushFileBuffers(file.get())) {
    return Status::failure(lastError());
  }
  return Status();
}

bool refusedWhileHeldOpen(int32_t errorCode) {
  return errorCode == ERROR_ACCESS_DENIED || errorCode == ERROR_SHARING_VIOLATION ||
         errorCode == ERROR_LOCK_VIOLATION;
}

Status removeFile(const char* path) {
  if (DeleteFileA(path)) return Status();
  DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Status();
  return Status::failure(static_cast<int32_t>(code));
}

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

Status takeFileLock(const char* path, uint32_t timeoutMs, FileLock& lock) {
  lock.reset();
  // Opened without sharing: a second opener is refused until we close it,
  // and the system closes it when the process ends, however it ends. It is
  // deleted with its last handle, so none is left behind.
  char lockPath[MAX_PATH + 8];
  std::snprintf(lockPath, sizeof lockPath, "%s.lock", path);
  for (uint32_t waited = 0;; ++waited) {
    HANDLE file = CreateFileA(lockPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      lock.reset(reinterpret_cast<intptr_t>(file));
      return Status();
    }
    DWORD code = GetLastError();
    if (missingFolder(code) && waited == 0) {
      createFoldersFor(lockPath);
      continue;
    }
    // A lock file being deleted by its last holder refuses with access
    // denied for a moment, as a held one refuses with a sharing violation.
    if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) || waited >= timeoutMs) {
      return Status::failure(static_cast<int32_t>(code));
    }
    Sleep(1);
  }
}

// Closing the lock file's only handle drops the lock (and the file).
bool FileLockTraits::close(Handle handle) {
  return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

// The named mapping goes with its last handle, but under Wine the block's
// file in /dev/shm stays when a process ends without releasing the block,
// for the next host to take over; a test that ends so removes it here.
void unlinkNamedObjects() { releaseAllWineFiles(); }

void unlinkSharedBlock(const char*) {}

}  // namespace korvanel::platform

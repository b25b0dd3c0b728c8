// Windows implementation of the platform interface: a paging-file mapping
// for the shared block, a critical section for the data lock, GetTickCount,
// a data section shared between processes, MoveFileEx for atomic saves.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform_common.h"

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

bool lockTryEnter(LockStorage& lock) {
  return TryEnterCriticalSection(sectionOf(lock)) != 0;
}

void lockEnter(LockStorage& lock) { EnterCriticalSection(sectionOf(lock)); }

void lockLeave(LockStorage& lock) { LeaveCriticalSection(sectionOf(lock)); }

// ---- Shared block -----------------------------------------------------------

MapResult createSharedBlock(const char* name, uint32_t size, SharedMapping& out,
                            int32_t& errorCode) {
  out = SharedMapping{};
  MapResult injected;
  if (takeInjectedMapFailure(injected, errorCode)) return injected;

  char effective[256];
  effectiveObjectName(name, effective, sizeof effective);
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                     PAGE_READWRITE, 0, size, effective);
  if (handle == nullptr) {
    errorCode = static_cast<int32_t>(GetLastError());
    return MapResult::kCreateFailed;
  }
  void* view = MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    errorCode = static_cast<int32_t>(GetLastError());
    CloseHandle(handle);
    return MapResult::kMapFailed;
  }
  out.view = view;
  out.handle = reinterpret_cast<uintptr_t>(handle);
  out.size = size;
  return MapResult::kOk;
}

bool openSharedBlock(const char* name, uint32_t size, SharedMapping& out) {
  out = SharedMapping{};
  char effective[256];
  effectiveObjectName(name, effective, sizeof effective);
  HANDLE handle = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, effective);
  if (handle == nullptr) return false;
  void* view = MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    CloseHandle(handle);
    return false;
  }
  out.view = view;
  out.handle = reinterpret_cast<uintptr_t>(handle);
  out.size = size;
  return true;
}

void releaseSharedBlock(SharedMapping& mapping) {
  if (mapping.view) UnmapViewOfFile(mapping.view);
  if (mapping.handle) CloseHandle(reinterpret_cast<HANDLE>(mapping.handle));
  mapping = SharedMapping{};
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

bool writeFileAtomically(const char* path, const void* contents, size_t size) {
  char temp[MAX_PATH + 8];
  std::snprintf(temp, sizeof temp, "%s.tmp", path);
  HANDLE file = injectedFileFailure(1)
                    ? INVALID_HANDLE_VALUE
                    : CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = !injectedFileFailure(2);
  const char* p = static_cast<const char*>(contents);
  size_t left = size;
  while (ok && left > 0) {
    DWORD chunk = left > 0x100000 ? 0x100000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    p += written;
    left -= written;
  }
  if (ok && (injectedFileFailure(3) || !FlushFileBuffers(file))) ok = false;
  if (!CloseHandle(file) || injectedFileFailure(4)) ok = false;
  if (ok && (injectedFileFailure(5) ||
             !MoveFileExA(temp, path,
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
    ok = false;
  }
  if (!ok) DeleteFileA(temp);
  return ok;
}

void unlinkNamedObjects() {}

}  // namespace korvanel::platform

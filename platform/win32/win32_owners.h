// Owners of the Windows handles the platform layer holds: kernel handles
// (files, mappings, events, processes, tokens), mapped views, folder
// searches and memory the system allocated for a reply. Internal to the
// Windows platform layer; includes windows.h, so only its .cpp files do.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/unique_owner.h"

namespace korvanel::platform {

struct Win32HandleTraits {
  using Handle = HANDLE;
  static Handle empty() { return nullptr; }
  // Calls that open files fail with INVALID_HANDLE_VALUE, the others with
  // null; neither is ever a handle to close.
  static bool isEmpty(Handle handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
  static bool close(Handle handle) { return CloseHandle(handle) != 0; }
};
// A kernel handle; made from either failure value, an empty one.
using UniqueHandle = UniqueOwner<Win32HandleTraits>;

struct Win32ViewTraits {
  using Handle = void*;
  static Handle empty() { return nullptr; }
  static bool isEmpty(Handle view) { return view == nullptr; }
  static bool close(Handle view) { return UnmapViewOfFile(view) != 0; }
};
// A view of a file mapping (MapViewOfFile).
using MappedView = UniqueOwner<Win32ViewTraits>;

struct Win32FindTraits {
  using Handle = HANDLE;
  static Handle empty() { return INVALID_HANDLE_VALUE; }
  static bool isEmpty(Handle find) { return find == INVALID_HANDLE_VALUE; }
  static bool close(Handle find) { return FindClose(find) != 0; }
};
// A search of a folder's entries (FindFirstFile).
using UniqueFind = UniqueOwner<Win32FindTraits>;

struct Win32LocalTraits {
  using Handle = HLOCAL;
  static Handle empty() { return nullptr; }
  static bool isEmpty(Handle memory) { return memory == nullptr; }
  static bool close(Handle memory) { return LocalFree(memory) == nullptr; }
};
// Memory the system allocated for a reply, freed with LocalFree.
using UniqueLocal = UniqueOwner<Win32LocalTraits>;

}  // namespace korvanel::platform

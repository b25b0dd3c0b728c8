// Owners of the POSIX handles the platform layer holds: descriptors, mapped
// views and open folders. Internal to the POSIX platform layer.
#pragma once

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

#include "platform/unique_owner.h"

namespace korvanel::platform {

struct PosixFdTraits {
  using Handle = int;
  static Handle empty() { return -1; }
  static bool isEmpty(Handle fd) { return fd < 0; }
  // The descriptor is gone afterwards even when close reports an error.
  static bool close(Handle fd) { return ::close(fd) == 0; }
};
// An open file descriptor (shm_open, open).
using UniqueFd = UniqueOwner<PosixFdTraits>;

// The address and length of a mapping, which munmap needs both of.
struct PosixView {
  void* address;
  size_t size;
};

struct PosixViewTraits {
  using Handle = PosixView;
  static Handle empty() { return {nullptr, 0}; }
  static bool isEmpty(const Handle& view) {
    return view.address == nullptr || view.address == MAP_FAILED;
  }
  static bool close(const Handle& view) { return munmap(view.address, view.size) == 0; }
};
// A mapped view; made from mmap's result, MAP_FAILED making an empty one.
using MappedView = UniqueOwner<PosixViewTraits>;

struct PosixDirTraits {
  using Handle = DIR*;
  static Handle empty() { return nullptr; }
  static bool isEmpty(Handle dir) { return dir == nullptr; }
  static bool close(Handle dir) { return closedir(dir) == 0; }
};
// A folder open for reading its entries (opendir).
using UniqueDir = UniqueOwner<PosixDirTraits>;

}  // namespace korvanel::platform

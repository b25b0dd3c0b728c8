// What the platform implementations share with the common part: the system
// clock they supply, and the test hooks they consult.
#pragma once

#include "platform/platform.h"

namespace korvanel::platform {

// The system's own tick counter, supplied by each platform.
uint32_t systemTickCount();

// True once when a test asked createSharedBlock to fail; gives the stage.
bool takeInjectedMapFailure(MapResult& stage, int32_t& errorCode);

// True once when a test asked writeFileAtomically to fail at `step`.
bool injectedFileFailure(int step);

// The platform implementations' way into a SharedMapping.
struct SharedMappingAccess {
  // Gives `mapping` (empty) the `size` bytes at `view` and the encoded
  // `handle`, for it to let go of.
  static void adopt(SharedMapping& mapping, void* view, uintptr_t handle, uint32_t size) {
    mapping.view_ = view;
    mapping.handle_ = handle;
    mapping.size_ = size;
  }
  // Hands the encoded handle over to the caller; the mapping keeps its view
  // but no longer has an object behind it.
  static uintptr_t releaseHandle(SharedMapping& mapping) {
    uintptr_t handle = mapping.handle_;
    mapping.handle_ = 0;
    return handle;
  }
  static uintptr_t handle(const SharedMapping& mapping) { return mapping.handle_; }
  // Takes everything from `mapping`, which is left empty.
  static void releaseAll(SharedMapping& mapping, void*& view, uintptr_t& handle, uint32_t& size) {
    view = mapping.view_;
    handle = mapping.handle_;
    size = mapping.size_;
    mapping.view_ = nullptr;
    mapping.handle_ = 0;
    mapping.size_ = 0;
  }
};

// Keeps `reason` for takeSharedBlockFallbackReason (cut to fit).
void noteSharedBlockFallback(const char* reason);

}  // namespace korvanel::platform

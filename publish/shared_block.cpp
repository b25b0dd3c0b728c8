// Creation and release of the shared block.
#include "publish/shared_block.h"

#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "publish/block_write.h"
#include "publish/data_lock.h"
#include "publish/published_blocks.h"

namespace korvanel {
namespace {

// Never destroyed (see NeverDestroyed): a host that ends without releasing
// the plugin leaves the block to the system, which takes it with the process.
platform::NeverDestroyed<platform::SharedMapping> gMapping;
PluginLog* gLog = nullptr;
bool gShrinkLogged = false;
constexpr uint32_t kSizeCheckIntervalMs = 1000;
uint32_t gLastSizeCheck = 0;

// The fields a reader checks before trusting the block; written at creation,
// and again when a shrink has cut them away.
void stampBlock(SharedBlock* block) {
  block->layoutStamp = kLayoutStamp;
  block->dataLockAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&dataLock()));
}

}  // namespace

SharedBlock* sharedBlock() { return static_cast<SharedBlock*>(gMapping.get().view()); }

bool createSharedBlock(PluginLog* log) {
  releaseSharedBlock();
  gLog = log;
  platform::SharedBlockStatus status =
      platform::createSharedBlock(kSharedBlockName, kSharedBlockSize, gMapping.get());
  if (const char* why = platform::takeSharedBlockFallbackReason()) {
    if (log) log->write("Shared block not visible to Linux programs: ", why);
  }
  if (!status.ok()) {
    const char* step = status.result == platform::MapResult::kMapFailed
                           ? "ERROR MapViewOfFile: "
                           : "ERROR CreateFileMapping: ";
    if (log) log->write(step, status.errorCode);
    return false;
  }
  SharedBlock* block = sharedBlock();
  BlockWrite write(block);
  stampBlock(block);
  std::memset(&hostState(), 0, sizeof(HostState));
  copyStateOut();
  return true;
}

void releaseSharedBlock() {
  gMapping.get().reset();
  gLog = nullptr;
}

void keepSharedBlockWhole() {
  // The platform's fault guard keeps a cut page from killing the host at any
  // moment; the check of the sizes, two system calls, runs when the guard
  // caught a fault and otherwise at most once a second, so that readers see
  // a shrunk block whole again even when the plugin writes none of its lost
  // pages.
  const uint32_t now = platform::tickCount();
  const bool faulted = platform::takeSharedObjectFault();
  if (!faulted && static_cast<uint32_t>(now - gLastSizeCheck) < kSizeCheckIntervalMs) return;
  gLastSizeCheck = now;
  if (platform::sharedObjectsIntact(gMapping.get()) && !faulted) return;
  // The updates write everything else again; nothing writes the stamp.
  if (SharedBlock* block = sharedBlock()) {
    BlockWrite write(block);
    stampBlock(block);
  }
  if (!gShrinkLogged) {
    gShrinkLogged = true;
    if (gLog) gLog->write("ERROR shared block shrunk: ", static_cast<int32_t>(kSharedBlockSize));
  }
}

void copyStateOut() {
  if (SharedBlock* block = sharedBlock()) {
    std::memcpy(&block->state, &hostState(), sizeof(HostState));
  }
}

void copyStateOutFromUpdate() {
  SharedBlock* block = sharedBlock();
  if (block == nullptr) return;
  const auto* from = reinterpret_cast<const unsigned char*>(&hostState());
  auto* to = reinterpret_cast<unsigned char*>(&block->state);
  constexpr size_t kFirstCommand = offsetof(HostState, distanceResetCommand);
  constexpr size_t kShutDown = offsetof(HostState, shutDown);
  constexpr size_t kAfterCommands = offsetof(HostState, kersRunning) + 1;
  static_assert(kShutDown == kFirstCommand + 1 &&
                    offsetof(HostState, selectedClassRow) == kShutDown + 1 &&
                    offsetof(HostState, kersTimerOn) == kShutDown + 2 &&
                    offsetof(HostState, kersRunning) == kShutDown + 3,
                "the command bytes and shutDown lie together");
  std::memcpy(to, from, kFirstCommand);
  to[kShutDown] = from[kShutDown];
  std::memcpy(to + kAfterCommands, from + kAfterCommands, sizeof(HostState) - kAfterCommands);
}

void copyStateIn() {
  if (SharedBlock* block = sharedBlock()) {
    std::memcpy(&hostState(), &block->state, sizeof(HostState));
  }
}

}  // namespace korvanel

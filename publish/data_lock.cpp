// The data lock and its bounded wait.
#include "publish/data_lock.h"

#include <atomic>

namespace korvanel {
namespace {

// The lock whose latest bounded wait ran out and that nobody has taken
// since. A reader that hangs with the lock would otherwise cost every call
// of the host the whole wait, and hold the host to two calls a second.
std::atomic<platform::LockStorage*> gGivenUp{nullptr};

// Tries before the wait starts to sleep: a reader that holds the lock only
// for a copy is usually gone within these.
constexpr int kYieldingTries = 64;

}  // namespace

platform::LockStorage& dataLock() {
  static platform::LockStorage lock;
  return lock;
}

void initDataLock() {
  // Initialised once per process: readers may still hold its address from an
  // earlier plugin object, so it is never re-initialised or deleted.
  [[maybe_unused]] static bool done = (platform::lockInit(dataLock()), true);
}

bool waitForLock(platform::LockStorage& lock) {
  if (platform::lockTryEnter(lock)) {
    // Taken: the next give-up waits its full time again.
    if (gGivenUp.load(std::memory_order_relaxed) == &lock) gGivenUp.store(nullptr);
    return true;
  }
  if (gGivenUp.load(std::memory_order_relaxed) == &lock) return false;
  uint32_t start = platform::tickCount();
  for (int tries = 0;; ++tries) {
    // Yield first, then sleep a millisecond at a time: the host's core is
    // not burnt while a reader holds the lock.
    platform::pause(tries < kYieldingTries ? 0 : 1);
    if (platform::lockTryEnter(lock)) return true;
    if (static_cast<uint32_t>(platform::tickCount() - start) > kLockWaitMs) break;
  }
  gGivenUp.store(&lock);
  return false;
}

}  // namespace korvanel

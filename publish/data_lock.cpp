// The data lock and its bounded wait.
#include "publish/data_lock.h"

namespace korvanel {

platform::LockStorage& dataLock() {
  static platform::LockStorage lock;
  return lock;
}

void initDataLock() {
  // Initialised once per process: readers may still hold its address from an
  // earlier plugin object, so it is never re-initialised or deleted.
  static bool done = (platform::lockInit(dataLock()), true);
  (void)done;
}

bool waitForLock(platform::LockStorage& lock) {
  uint32_t start = platform::tickCount();
  while (!platform::lockTryEnter(lock)) {
    if (static_cast<uint32_t>(platform::tickCount() - start) > kLockWaitMs) return false;
  }
  return true;
}

}  // namespace korvanel

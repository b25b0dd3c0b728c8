// The one data lock of the plugin and its bounded wait: the update cycles
// must never stall the host's thread behind a reader that holds the lock.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace korvanel {

constexpr uint32_t kLockWaitMs = 500;

// The module's data lock; initialised by the plugin object's constructor.
platform::LockStorage& dataLock();
void initDataLock();

// Tries to enter `lock` without blocking, again and again with a yield or a
// short sleep between tries (so no core is burnt), until it is entered
// (true) or more than 500 ms of ticks have passed (false: the caller goes on
// without the lock). Once a wait has run out, later calls make one try
// only and do not wait again until one of them has taken the lock.
bool waitForLock(platform::LockStorage& lock);

// The bounded wait as a scope: leaves the lock at the end only if it was
// entered, so a lock held by someone else is never released.
class BoundedLock {
 public:
  explicit BoundedLock(platform::LockStorage& lock) : lock_(lock), held_(waitForLock(lock)) {}
  ~BoundedLock() {
    if (held_) platform::lockLeave(lock_);
  }
  BoundedLock(const BoundedLock&) = delete;
  BoundedLock& operator=(const BoundedLock&) = delete;
  bool held() const { return held_; }

 private:
  platform::LockStorage& lock_;
  bool held_;
};

}  // namespace korvanel

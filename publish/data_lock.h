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

}  // namespace korvanel

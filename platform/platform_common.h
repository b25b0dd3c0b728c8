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

// Keeps `reason` for takeSharedBlockFallbackReason (cut to fit).
void noteSharedBlockFallback(const char* reason);

}  // namespace korvanel::platform

// The edge between the host and the plugin's work: nothing thrown inside
// the plugin may unwind into the host, whose frames know nothing of it.
#pragma once

#include <exception>

#include "publish/shared_block.h"

namespace korvanel {

// Logs "ERROR exception in " followed by `call` and what the exception says
// ("ERROR exception in scoring update: std::bad_alloc"), the first time a
// given `call` (compared by address) meets one; later ones are counted, not
// logged, so a fault that repeats at 90 calls a second cannot fill the disk.
// Never throws.
void noteEscapedException(const char* call, const char* what) noexcept;

// Runs `work`; an exception it lets out stops here and is noted. Returns
// whether `work` ran to its end.
template <typename Work>
bool runGuarded(const char* call, Work&& work) noexcept {
  try {
    work();
    return true;
  } catch (const std::exception& e) {
    noteEscapedException(call, e.what());
  } catch (...) {
    noteEscapedException(call, "an exception of unknown type");
  }
  return false;
}

// A host call on the plugin object other than its destruction: such calls
// touch the shared objects, so `work` first makes sure that they are whole,
// inside the same guard.
template <typename Work>
void hostCall(const char* call, Work&& work) noexcept {
  runGuarded(call, [&] {
    keepSharedBlockWhole();
    work();
  });
}

}  // namespace korvanel

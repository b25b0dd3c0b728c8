// How many files and sockets this process may hold open at once, for a
// server that must stop accepting before the system refuses it.
#pragma once

#include <cstddef>

namespace korvanel::tools {

// Raises this process's limit of open descriptors towards `wanted` as far
// as the system lets it without privileges, and returns the limit then in
// force. Returns 0 where the system sets no per-process limit worth counting
// (Windows sockets).
size_t raiseDescriptorLimit(size_t wanted);

}  // namespace korvanel::tools

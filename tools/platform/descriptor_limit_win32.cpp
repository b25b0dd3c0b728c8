// Windows sockets are kernel handles without a per-process limit that a
// server could run into before memory: nothing to raise.
#include "tools/platform/descriptor_limit.h"

namespace korvanel::tools {

size_t raiseDescriptorLimit(size_t) { return 0; }

}  // namespace korvanel::tools

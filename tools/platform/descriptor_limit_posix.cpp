// The open-file limit on POSIX systems: the soft limit, raised up to the
// hard one when more is wanted.
#include <sys/resource.h>

#include "tools/platform/descriptor_limit.h"

namespace korvanel::tools {

size_t raiseDescriptorLimit(size_t wanted) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    rlim_t target = static_cast<rlim_t>(wanted);
    if (limit.rlim_max != RLIM_INFINITY && target > limit.rlim_max) target = limit.rlim_max;
    struct rlimit raised = limit;
    raised.rlim_cur = target;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? 0 : static_cast<size_t>(limit.rlim_cur);
}

}  // namespace korvanel::tools

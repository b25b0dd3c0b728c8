// Keeps calls in step with the wall clock: a call due at a given time of
// the run (in the run's own seconds) waits until that time divided by the
// speed factor has passed. As fast as possible, it never waits.
#pragma once

#include "tools/platform/tool_platform.h"

namespace korvanel::tools {

class Pacer {
 public:
  Pacer(double speed, bool fast) : speed_(speed > 0 ? speed : 1.0), fast_(fast) {}
  void start() { start_ = monotonicSeconds(); }
  void waitFor(double runSeconds) {
    if (fast_) return;
    double due = start_ + runSeconds / speed_;
    double now = monotonicSeconds();
    // Sleeping in short pieces keeps Ctrl-C responsive at slow speeds.
    while (now < due && !interrupted()) {
      sleepSeconds(due - now < 0.1 ? due - now : 0.1);
      now = monotonicSeconds();
    }
  }

 private:
  double speed_;
  bool fast_;
  double start_ = 0.0;
};

}  // namespace korvanel::tools

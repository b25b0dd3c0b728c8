// The player's live delta: time into the lap against the best and the last
// lap at the same lap distance, from traces of the player's own laps.
#pragma once

#include <array>

#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

constexpr int kTracePoints = 1000;  // points per lap at which a trace keeps the time

// Time into one lap at kTracePoints + 1 evenly spaced lap distances (the
// last is the line), filled in as the lap is driven.
class LapTrace {
 public:
  // An empty trace of a lap of `lapLength` metres.
  void start(double lapLength);
  // The car is at `distance` `time` seconds into the lap: the points passed
  // since the previous sample get times interpolated between the two.
  void add(double distance, double time);
  // Ends the lap at the line after `lapTime` seconds.
  void finish(double lapTime);
  // Points with a time: a whole lap has nearly all of them.
  int filled() const { return filled_; }
  double lapLength() const { return lapLength_; }
  double lapTime() const { return lapTime_; }
  // Time into the lap at `distance`, interpolated; negative when unknown.
  double timeAt(double distance) const;

 private:
  std::array<double, kTracePoints + 1> at_;
  double lapLength_ = 0.0;
  double lastDistance_ = 0.0, lastTime_ = 0.0;
  double lapTime_ = -1.0;
  int next_ = 0;  // first point not yet passed
  int filled_ = 0;
};

class LapDelta {
 public:
  LapDelta() { reset(); }
  // Forgets the laps.
  void reset();
  // One observation: the lap that began at session time `lapStart` (a new
  // value: a new lap) has `lapLength` metres; the player is `distance` into
  // it, `time` seconds after its start.
  void observe(double lapStart, double lapLength, double distance, double time);
  Delta delta() const { return delta_; }

 private:
  // Ends the current lap after `lapTime` s; a whole one becomes the last
  // lap, and the best when it is faster.
  void closeLap(double lapTime);

  LapTrace traces_[3];  // rotated through current, last and best
  LapTrace* current_ = &traces_[0];
  LapTrace* last_ = nullptr;
  LapTrace* best_ = nullptr;
  double lapStart_ = -1.0;
  Delta delta_;
};

}  // namespace korvanel::tools::engineer

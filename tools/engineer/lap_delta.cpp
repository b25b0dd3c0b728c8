// A lap counts as a reference once its trace covers nearly every point:
// the first, timed from the line, never does when history begins mid-lap.
#include "tools/engineer/lap_delta.h"

#include <cmath>

namespace korvanel::tools::engineer {
namespace {

constexpr int kWholeLap = kTracePoints * 95 / 100;

}  // namespace

void LapTrace::start(double lapLength) {
  at_.fill(-1.0);
  lapLength_ = lapLength;
  lastDistance_ = 0.0;
  lastTime_ = 0.0;
  lapTime_ = -1.0;
  next_ = 0;
  filled_ = 0;
}

void LapTrace::add(double distance, double time) {
  if (!(lapLength_ > 0.0) || !std::isfinite(distance) || !std::isfinite(time)) return;
  if (distance > lapLength_) distance = lapLength_;
  double spacing = lapLength_ / kTracePoints;
  if (next_ == 0 && filled_ == 0 && distance > spacing) {
    // The first sample past the start: the trace begins here.
    next_ = static_cast<int>(std::floor(distance / spacing)) + 1;
    lastDistance_ = distance;
    lastTime_ = time;
    return;
  }
  if (distance <= lastDistance_ || time < lastTime_) {
    if (distance < lastDistance_) return;  // backwards: keep the furthest point
    lastTime_ = time;
    return;
  }
  while (next_ <= kTracePoints && next_ * spacing <= distance) {
    double share = (next_ * spacing - lastDistance_) / (distance - lastDistance_);
    at_[static_cast<size_t>(next_)] = lastTime_ + share * (time - lastTime_);
    ++next_;
    ++filled_;
  }
  lastDistance_ = distance;
  lastTime_ = time;
}

void LapTrace::finish(double lapTime) {
  if (next_ <= kTracePoints && lapTime > lastTime_) add(lapLength_, lapTime);
  if (at_[kTracePoints] < 0.0) {
    at_[kTracePoints] = lapTime;
    ++filled_;
  }
  lapTime_ = lapTime;
}

double LapTrace::timeAt(double distance) const {
  if (!(lapLength_ > 0.0) || !(distance >= 0.0)) return -1.0;
  double x = distance / (lapLength_ / kTracePoints);
  if (x >= kTracePoints) return at_[kTracePoints];
  int k = static_cast<int>(x);
  double t0 = at_[static_cast<size_t>(k)], t1 = at_[static_cast<size_t>(k + 1)];
  if (k == 0) t0 = 0.0;  // the lap starts at the line
  if (t0 < 0.0 || t1 < 0.0) return -1.0;
  return t0 + (x - k) * (t1 - t0);
}

void LapDelta::reset() {
  current_ = &traces_[0];
  last_ = best_ = nullptr;
  lapStart_ = -1.0;
  current_->start(0.0);
  delta_ = Delta();
}

void LapDelta::closeLap(double lapTime) {
  current_->finish(lapTime);
  if (current_->filled() < kWholeLap) return;  // not a whole lap: no reference
  LapTrace* done = current_;
  bool newBest = best_ == nullptr || lapTime < best_->lapTime();
  // The free trace: neither the new last nor the best to keep.
  LapTrace* keep = newBest ? done : best_;
  LapTrace* next = nullptr;
  for (LapTrace& t : traces_) {
    if (&t != done && &t != keep) next = &t;
  }
  last_ = done;
  best_ = keep;
  current_ = next;
}

void LapDelta::observe(double lapStart, double lapLength, double distance, double time) {
  if (lapStart != lapStart_) {
    if (lapStart_ >= 0.0 && lapStart > lapStart_) closeLap(lapStart - lapStart_);
    lapStart_ = lapStart;
    current_->start(lapLength);
  }
  current_->add(distance, time);

  delta_.lapDistance = distance;
  delta_.bestLap = best_ ? best_->lapTime() : -1.0;
  delta_.lastLap = last_ ? last_->lapTime() : -1.0;
  auto against = [&](const LapTrace* reference) -> std::optional<double> {
    if (reference == nullptr || reference->lapLength() != lapLength) return std::nullopt;
    double then = reference->timeAt(distance);
    if (then < 0.0) return std::nullopt;
    return time - then;
  };
  delta_.toBest = against(best_);
  delta_.toLast = against(last_);
  delta_.predictedLap.reset();
  if (delta_.toBest) delta_.predictedLap = delta_.bestLap + *delta_.toBest;
}

}  // namespace korvanel::tools::engineer

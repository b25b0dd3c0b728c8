// A closed track of two straights joined by two half circles, laid out by
// distance along the lap, with the speed profile a car of a class follows.
#pragma once

namespace korvanel::tools {

struct TrackPoint {
  double x, y, z;    // world position; y is height
  double fx, fz;     // unit heading in the horizontal plane
  double curvature;  // 1 / radius in the bends, 0 on the straights
  double cx, cz;     // unit vector toward the bend's centre (0 on straights)
};

// Straight and bend speeds of one class.
struct SpeedProfile {
  double straight;  // top speed in the middle of a straight
  double bend;      // speed through the bends and at the straights' ends
};

class Track {
 public:
  explicit Track(double length);

  double length() const { return length_; }
  // The point at lap distance `s`; any value, taken modulo the length.
  TrackPoint at(double s) const;
  // Speed at `s` and its derivative along the lap (per metre).
  double speed(const SpeedProfile& profile, double s, double* derivative) const;

 private:
  double wrap(double s) const;

  double length_;
  double straight_;  // length of one straight
  double radius_;    // radius of the bends
};

}  // namespace korvanel::tools

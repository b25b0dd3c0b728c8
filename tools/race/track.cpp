// Geometry of the stadium-shaped track. Each of the four pieces is a quarter
// of the lap: straight, bend, straight, bend, so distances map exactly onto
// positions and the motion along the lap stays smooth.
#include "tools/race/track.h"

#include <cmath>

namespace korvanel::tools {
namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

Track::Track(double length)
    : length_(length), straight_(length / 4.0), radius_(length / (4.0 * kPi)) {}

double Track::wrap(double s) const {
  double w = std::fmod(s, length_);
  return w < 0 ? w + length_ : w;
}

TrackPoint Track::at(double distance) const {
  double s = wrap(distance);
  double half = straight_ / 2.0;
  TrackPoint p{};
  int piece = static_cast<int>(s / straight_);
  if (piece > 3) piece = 3;
  double u = s - piece * straight_;
  double phi = u / radius_;
  switch (piece) {
    case 0:  // first straight, heading +x
      p.x = -half + u;
      p.z = -radius_;
      p.fx = 1.0;
      break;
    case 1:  // bend around (half, 0)
      p.x = half + radius_ * std::sin(phi);
      p.z = -radius_ * std::cos(phi);
      p.fx = std::cos(phi);
      p.fz = std::sin(phi);
      p.curvature = 1.0 / radius_;
      p.cx = -std::sin(phi);
      p.cz = std::cos(phi);
      break;
    case 2:  // second straight, heading -x
      p.x = half - u;
      p.z = radius_;
      p.fx = -1.0;
      break;
    default:  // bend around (-half, 0)
      p.x = -half - radius_ * std::sin(phi);
      p.z = radius_ * std::cos(phi);
      p.fx = -std::cos(phi);
      p.fz = -std::sin(phi);
      p.curvature = 1.0 / radius_;
      p.cx = std::sin(phi);
      p.cz = -std::cos(phi);
      break;
  }
  p.y = 0.0;
  return p;
}

double Track::speed(const SpeedProfile& profile, double distance, double* derivative) const {
  double s = wrap(distance);
  int piece = static_cast<int>(s / straight_);
  double gain = profile.straight - profile.bend;
  if (piece == 0 || piece == 2) {
    double u = (s - piece * straight_) / straight_;
    if (derivative) *derivative = gain * kPi / straight_ * std::cos(kPi * u);
    return profile.bend + gain * std::sin(kPi * u);
  }
  if (derivative) *derivative = 0.0;
  return profile.bend;
}

}  // namespace korvanel::tools

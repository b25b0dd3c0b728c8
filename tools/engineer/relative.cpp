// Gaps on track: a car ahead passed the player's point some seconds ago,
// which is its gap (negative: ahead); the player passed the point of a car
// behind some seconds ago, which is that car's gap. Where the history does
// not know the moment yet, the distance over the speed stands in.
#include "tools/engineer/relative.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace korvanel::tools::engineer {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double speedOf(const KorvanelHostVehicle& v) {
  double x = v.localVelocity[0], y = v.localVelocity[1], z = v.localVelocity[2];
  return std::sqrt(x * x + y * y + z * z);
}

// `d` wrapped into [0, lap).
double onLap(double d, double lap) {
  d = std::fmod(d, lap);
  return d < 0.0 ? d + lap : d;
}

size_t boundedLength(const char* text, size_t n) {
  const void* end = std::memchr(text, 0, n);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : n;
}

}  // namespace

void PassTimes::reset() {
  for (int slot = 0; slot < kCarSlots; ++slot) forget(slot);
}

void PassTimes::forget(int slot) {
  Car& c = cars_[static_cast<size_t>(slot)];
  c.at.fill(-1.0);
  c.distance = kNaN;
  c.time = 0.0;
}

void PassTimes::update(int slot, double distance, double lapLength, double now) {
  if (slot < 0 || !(lapLength > 0.0) || !std::isfinite(distance)) return;
  Car& c = cars_[static_cast<size_t>(slot)];
  double to = onLap(distance, lapLength);
  double from = c.distance;
  double fromTime = c.time;
  c.distance = to;
  c.time = now;
  if (std::isnan(from) || !(now > fromTime)) return;
  double travelled = to - from;
  if (travelled < -lapLength / 2.0) travelled += lapLength;  // across the line
  if (travelled <= 0.0 || travelled > lapLength / 4.0) return;
  double spacing = lapLength / kPassPoints;
  // Points k * spacing in (from, from + travelled].
  long first = static_cast<long>(std::floor(from / spacing)) + 1;
  long last = static_cast<long>(std::floor((from + travelled) / spacing));
  for (long k = first; k <= last; ++k) {
    double share = (k * spacing - from) / travelled;
    c.at[static_cast<size_t>(k % kPassPoints)] = fromTime + share * (now - fromTime);
  }
}

double PassTimes::passTime(int slot, double distance, double lapLength) const {
  if (slot < 0 || !(lapLength > 0.0)) return -1.0;
  const Car& c = cars_[static_cast<size_t>(slot)];
  double spacing = lapLength / kPassPoints;
  double d = onLap(distance, lapLength);
  int k = static_cast<int>(d / spacing) % kPassPoints;
  double share = d / spacing - std::floor(d / spacing);
  double t0 = c.at[static_cast<size_t>(k)];
  double t1 = c.at[static_cast<size_t>((k + 1) % kPassPoints)];
  if (t0 < 0.0) return -1.0;
  if (t1 > t0) return t0 + share * (t1 - t0);
  // The car is between the two points now: the time of the point before
  // stands for the spacing's pace.
  double before = c.at[static_cast<size_t>((k + kPassPoints - 1) % kPassPoints)];
  if (before >= 0.0 && t0 > before) return t0 + share * (t0 - before);
  return t0;
}

void workOutRelative(const KorvanelScoringInfoV2& scoring, int count, int player,
                     const std::array<int, kCarSlots>& slotOfIndex, const PassTimes& passTimes,
                     const std::vector<ClassStanding>& standings,
                     const std::vector<ClassSummary>& classes, int eachWay,
                     std::vector<RelativeCar>& out) {
  double lap = scoring.lapLength;
  if (player < 0 || player >= count || !(lap > 0.0)) {
    out.clear();
    return;
  }
  const KorvanelVehicleInfoV2& me = scoring.vehicles[player];
  double mine = onLap(me.host.lapDistance, lap);
  double now = scoring.currentTime;

  // Signed distance on track to the player, in (-lap/2, lap/2], of every other car.
  struct Near {
    double ahead;  // m, positive ahead
    int index;
  };
  std::array<Near, KORVANEL_MAX_VEHICLES> ahead, behind;
  int nAhead = 0, nBehind = 0;
  for (int i = 0; i < count; ++i) {
    if (i == player) continue;
    double d = onLap(scoring.vehicles[i].host.lapDistance, lap) - mine;
    if (d > lap / 2.0) d -= lap;
    if (d <= -lap / 2.0) d += lap;
    if (d > 0.0) {
      ahead[static_cast<size_t>(nAhead++)] = {d, i};
    } else {
      behind[static_cast<size_t>(nBehind++)] = {d, i};
    }
  }
  auto nearer = [](const Near& a, const Near& b) {
    return std::fabs(a.ahead) < std::fabs(b.ahead);
  };
  int takeAhead = std::min(nAhead, eachWay), takeBehind = std::min(nBehind, eachWay);
  std::partial_sort(ahead.begin(), ahead.begin() + takeAhead, ahead.begin() + nAhead, nearer);
  std::partial_sort(behind.begin(), behind.begin() + takeBehind, behind.begin() + nBehind, nearer);

  double mySpeed = speedOf(me.host);
  size_t used = 0;  // entries of `out` filled; the others keep their storage until the resize
  auto add = [&](int i, double d) {
    const KorvanelVehicleInfoV2& e = scoring.vehicles[i];
    if (out.size() <= used) out.emplace_back();
    RelativeCar& r = out[used++];
    r.index = i;
    r.driverName.assign(e.host.driverName,
                        boundedLength(e.host.driverName, sizeof e.host.driverName));
    const ClassStanding& s = standings[static_cast<size_t>(i)];
    r.vehicleClass = s.vehicleClass;
    r.classColor.clear();
    for (const ClassSummary& c : classes) {
      if (c.name == s.vehicleClass) r.classColor = c.color;
    }
    r.inPits = e.host.inPits != 0;
    if (i == player) {
      r.gap = 0.0;
      r.lapDifference = 0;
      r.mark = RelativeMark::kPlayer;
      return;
    }
    double passed =
        d > 0.0 ? passTimes.passTime(slotOfIndex[static_cast<size_t>(i)], mine, lap)
                : passTimes.passTime(slotOfIndex[static_cast<size_t>(player)], mine + d, lap);
    double gap;
    if (passed >= 0.0 && passed <= now) {
      gap = now - passed;
    } else {
      double speed = std::max(10.0, (mySpeed + speedOf(e.host)) / 2.0);
      gap = std::fabs(d) / speed;
    }
    r.gap = d > 0.0 ? -gap : gap;
    double progress = static_cast<double>(e.lapProgress) - me.lapProgress;
    r.lapDifference = static_cast<int>(std::lround(progress - d / lap));
    r.mark = r.lapDifference > 0   ? RelativeMark::kLapping
             : r.lapDifference < 0 ? RelativeMark::kLapped
                                   : RelativeMark::kSame;
  };
  for (int k = takeAhead - 1; k >= 0; --k)
    add(ahead[static_cast<size_t>(k)].index, ahead[static_cast<size_t>(k)].ahead);
  add(player, 0.0);
  for (int k = 0; k < takeBehind; ++k)
    add(behind[static_cast<size_t>(k)].index, behind[static_cast<size_t>(k)].ahead);
  out.resize(used);
}

}  // namespace korvanel::tools::engineer

// Gaps within the class group and to the player's car, summed from the
// host's per-car intervals. Sums are floats that take each interval in
// double and round back to float at every step, so the published figures
// do not depend on how the compiler keeps intermediates.
#include "scoring/gaps.h"

#include <cmath>

namespace korvanel {
namespace {

float addStep(float sum, double step) {
  return static_cast<float>(static_cast<double>(sum) + step);
}

float subtractStep(float sum, double step) {
  return static_cast<float>(static_cast<double>(sum) - step);
}

}  // namespace

void computeClassGaps(ScoringInfoV2& block) {
  VehicleInfoV2* v = block.vehicles;
  const int n = countedVehicles(block);

  float sincePrevious = 0.0f;
  float sinceLeader = 0.0f;
  int previous = -1;
  int leader = -1;
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = v[i];
    if (i > 0) {
      sincePrevious = addStep(sincePrevious, e.host.timeBehindNext);
      sinceLeader = addStep(sinceLeader, e.host.timeBehindNext);
    }
    if (e.inClassGroup != 1) continue;
    if (e.classPosition == 1) {
      e.timeBehindClassAhead = e.lapDiffToClassAhead = 0.0f;
      e.timeBehindClassLeader = e.lapDiffToClassLeader = 0.0f;
      leader = i;
      sinceLeader = 0.0f;
    } else {
      // A member met before any earlier member or leader (a row that keeps
      // race positions when nobody reports place 1) has nothing to measure
      // laps against: it is taken as level with it, a lap difference of 0.
      // Its times still carry the sums run from the first entry.
      e.timeBehindClassAhead = sincePrevious;
      e.lapDiffToClassAhead = previous >= 0 ? e.lapProgress - v[previous].lapProgress : 0.0f;
      e.timeBehindClassLeader = sinceLeader;
      e.lapDiffToClassLeader = leader >= 0 ? e.lapProgress - v[leader].lapProgress : 0.0f;
    }
    previous = i;
    sincePrevious = 0.0f;
  }
}

void computePlayerGaps(ScoringInfoV2& block) {
  VehicleInfoV2* v = block.vehicles;
  const int n = countedVehicles(block);
  const int p = block.playerIndex;
  if (p < 0 || p >= n) return;
  // A gap to oneself is none; left alone, the entry would keep whatever the
  // car that last held this place was given.
  v[p].timeGapToPlayer = 0.0f;
  v[p].lapGapToPlayer = 0.0f;

  // Cars ahead: whole laps, rounded towards zero, once a lap or more ahead.
  float sum = 0.0f;
  for (int k = p - 1; k >= 0; --k) {
    float d = v[k].lapProgress - v[p].lapProgress;
    if (d >= 1.0f) {
      v[k].lapGapToPlayer = -std::trunc(d);
      v[k].timeGapToPlayer = 0.0f;
    } else {
      sum = subtractStep(sum, v[k + 1].host.timeBehindNext);
      v[k].timeGapToPlayer = sum;
      v[k].lapGapToPlayer = 0.0f;
    }
  }

  // Cars behind: the lap difference as it is, fraction included.
  sum = 0.0f;
  for (int m = p + 1; m < n; ++m) {
    float d = v[p].lapProgress - v[m].lapProgress;
    if (d >= 1.0f) {
      v[m].lapGapToPlayer = d;
      v[m].timeGapToPlayer = 0.0f;
    } else {
      sum = addStep(sum, v[m].host.timeBehindNext);
      v[m].timeGapToPlayer = sum;
      v[m].lapGapToPlayer = 0.0f;
    }
  }
}

}  // namespace korvanel

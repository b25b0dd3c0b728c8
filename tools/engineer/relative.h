// The relative: the cars nearest the player on track, ahead and behind by
// lap distance, whatever their place, with the time gap on track taken from
// when each car passed the points of the lap on its recent laps.
#pragma once

#include <array>
#include <vector>

#include "korvanel/shared_block.h"
#include "tools/engineer/car_identity.h"
#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

constexpr int kPassPoints = 200;  // points on the lap at which pass times are kept

// For each car slot, the session time at which the car last passed each of
// kPassPoints evenly spaced points of the lap.
class PassTimes {
 public:
  PassTimes() { reset(); }
  // Forgets every car.
  void reset();
  // The car in `slot` is at `distance` at session time `now` (a scoring
  // update): the points passed since its previous report get times
  // interpolated between the two reports. A jump of more than a quarter lap
  // (a car put back in the pits) passes nothing.
  void update(int slot, double distance, double lapLength, double now);
  // Forgets the car in `slot`.
  void forget(int slot);
  // When the car in `slot` last passed `distance`, interpolated between the
  // points around it; a negative value when it is not known.
  double passTime(int slot, double distance, double lapLength) const;

 private:
  struct Car {
    std::array<double, kPassPoints> at;
    double distance;  // at the previous report; NaN none
    double time;
  };
  std::array<Car, kCarSlots> cars_;
};

// The relative of the first `count` vehicles of `scoring` (race order) at
// the scoring update's session time: up to `eachWay` cars ahead and behind
// the player `player` on track, player included, from the car furthest
// ahead. `color[i]` is vehicle i's class colour. Reuses `out`'s storage.
void workOutRelative(const KorvanelScoringInfoV2& scoring, int count, int player,
                     const std::array<int, kCarSlots>& slotOfIndex, const PassTimes& passTimes,
                     const std::vector<ClassStanding>& standings,
                     const std::vector<ClassSummary>& classes, int eachWay,
                     std::vector<RelativeCar>& out);

}  // namespace korvanel::tools::engineer

// The player's fuel: use per lap from the laps driven, laps of fuel left,
// and for a race length the user gives, the laps still to drive, fuel to
// the finish and fuel to add at the next stop. Fuel is in the host's unit.
#pragma once

#include <array>

#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

class FuelUse {
 public:
  // Forgets the laps.
  void reset() { *this = FuelUse(); }
  // One observation: the lap that began at session time `lapStart` (a new
  // value: a new lap), the fuel level, whether the car is in the pits and
  // whether the session is under the green flag.
  void observe(double lapStart, double level, bool inPits, bool green);
  // Mean use of the last up to kAverageLaps green laps that neither touched
  // the pits nor took fuel; -1 none.
  double perLap() const;
  int lapsCounted() const { return laps_ < kAverageLaps ? laps_ : kAverageLaps; }
  double level() const { return level_; }

 private:
  std::array<double, kAverageLaps> used_{};
  int laps_ = 0;  // laps measured in all
  double lapStart_ = -1.0;
  double startLevel_ = -1.0;  // at the start of the lap under way; -1 not seen from its start
  double level_ = 0.0;
  bool clean_ = false;  // the lap under way counts so far
};

// Where the race stands, for the laps still to drive.
struct RaceProgress {
  double sessionTime = 0.0;     // s, the session clock
  double leaderProgress = 0.0;  // laps completed plus the fraction of the lap
  double leaderLap = -1.0;      // s, the leader's typical lap; -1 unknown
  double playerProgress = 0.0;
  double playerLap = -1.0;
};

// Laps the player still drives to the flag: the race ends when the overall
// leader completes `length.laps` laps, or completes the lap in progress
// once the session clock reaches `length.minutes`; the player then finishes
// the lap it is on. None when the length or a lap time is unknown.
std::optional<double> lapsToFinish(const RaceLength& length, const RaceProgress& race);

// The fuel figures for `lapsLeftToDrive` (none: unknown).
Fuel fuelFigures(const FuelUse& use, std::optional<double> lapsLeftToDrive);

}  // namespace korvanel::tools::engineer

// A lap's use is the level at its start less the level at its end; a lap
// that took fuel, touched the pits or ran under another flag says nothing
// of the pace of use and is left out. No margin is added to any figure.
#include "tools/engineer/fuel_strategy.h"

#include <algorithm>
#include <cmath>

namespace korvanel::tools::engineer {

void FuelUse::observe(double lapStart, double level, bool inPits, bool green) {
  if (!std::isfinite(level)) return;
  if (lapStart != lapStart_) {
    bool first = lapStart_ < 0.0;
    if (!first && clean_ && startLevel_ >= 0.0 && startLevel_ > level) {
      used_[static_cast<size_t>(laps_ % kAverageLaps)] = startLevel_ - level;
      ++laps_;
    }
    // The lap under way when history began did not start here.
    startLevel_ = first ? -1.0 : level;
    clean_ = !first && lapStart > 0.0;
    lapStart_ = lapStart;
  }
  if (level > level_ + 1e-6 || inPits || !green) clean_ = false;
  level_ = level;
}

double FuelUse::perLap() const {
  int n = lapsCounted();
  if (n == 0) return -1.0;
  double sum = 0.0;
  for (int k = 0; k < n; ++k) sum += used_[static_cast<size_t>(k)];
  return sum / n;
}

std::optional<double> lapsToFinish(const RaceLength& length, const RaceProgress& race) {
  if (!length.known() || !(race.leaderLap > 0.0) || !(race.playerLap > 0.0)) return std::nullopt;
  // Seconds until the leader takes the flag.
  double leaderLeft;
  if (length.laps > 0) {
    leaderLeft = std::max(0.0, length.laps - race.leaderProgress) * race.leaderLap;
  } else {
    double clock = std::max(0.0, length.minutes * 60.0 - race.sessionTime);
    double flagAt = std::ceil(race.leaderProgress + clock / race.leaderLap);
    leaderLeft = std::max(0.0, flagAt - race.leaderProgress) * race.leaderLap;
  }
  // The player finishes the lap it is on when the flag falls. A small
  // tolerance keeps the player that is the leader at the leader's count.
  double at = race.playerProgress + leaderLeft / race.playerLap;
  double finish = std::ceil(at - 1e-6);
  return std::max(0.0, finish - race.playerProgress);
}

Fuel fuelFigures(const FuelUse& use, std::optional<double> lapsLeftToDrive) {
  Fuel out;
  out.level = use.level();
  out.lapsCounted = use.lapsCounted();
  double perLap = use.perLap();
  if (perLap > 0.0) {
    out.perLap = perLap;
    out.lapsLeft = out.level / perLap;
    if (lapsLeftToDrive) {
      out.lapsToFinish = lapsLeftToDrive;
      out.toFinish = *lapsLeftToDrive * perLap;
      out.toAdd = std::max(0.0, *out.toFinish - out.level);
    }
  } else if (lapsLeftToDrive) {
    out.lapsToFinish = lapsLeftToDrive;
  }
  return out;
}

}  // namespace korvanel::tools::engineer

// One car's timing history, fed with its scoring entries: the laps it
// completed with their sector splits, its personal bests, its pit stops,
// time in the pit lane, stint and the gap to the car ahead at each line.
#pragma once

#include <array>
#include <optional>

#include "korvanel/shared_block.h"
#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

constexpr int kKeptLaps = 16;  // laps kept per car; at least kViewLaps and kAverageLaps + 1

class LapHistory {
 public:
  // Forgets everything: the car is new.
  void reset() { *this = LapHistory(); }
  // One scoring update of the car at session time `now`; `green`: the
  // session runs under the green flag.
  void update(const KorvanelVehicleInfoV2& vehicle, double now, bool green);

  // Completed laps recorded; lap(0) is the newest. REQUIRES: k < keptLaps().
  int keptLaps() const { return count_ < kKeptLaps ? count_ : kKeptLaps; }
  const LapTimes& lap(int k) const { return entry(k).times; }
  double bestLap() const { return bestLap_; }
  const std::array<double, kSectors>& bestSectors() const { return bestSectors_; }
  // Mean of the last up to kAverageLaps green laps that did not touch the
  // pits; -1 none.
  double averageLap() const;
  // Latest lap time known: the average, else the last, else the best; -1 none.
  double typicalLap() const;
  PitSummary pit(double now) const;
  // Change of the gap to the car ahead in s per lap over the last up to 5
  // laps; none with fewer than two laps measured.
  std::optional<double> gapTrend() const;

 private:
  struct Entry {
    LapTimes times;
    bool green = false;      // green flag throughout, no pits
    double gapAhead = -1.0;  // to the car ahead at the line; -1 a lap or more
  };
  // The k-th newest lap kept. REQUIRES: k < keptLaps().
  const Entry& entry(int k) const { return laps_[(count_ - 1 - k) % kKeptLaps]; }
  // Records the lap the host's last-lap fields describe.
  void completeLap(const KorvanelHostVehicle& v);
  // Lowers the bests with a lap given as the host gives it (sector 2 cumulative).
  void takeBests(double lap, double s1, double s2cumulative);

  std::array<Entry, kKeptLaps> laps_{};
  int count_ = 0;           // laps recorded in all
  int lapsCompleted_ = -1;  // the host's count at the previous update; -1 none yet
  bool lapGreen_ = false;   // the lap under way has been green throughout
  bool lapPit_ = false;     // the lap under way touched the pit lane
  bool inPits_ = false;
  double pitEntry_ = 0.0;  // session time of the latest pit entry
  int stintStart_ = 0;     // the host's lap count when the car left the pits
  PitSummary pit_;
  double bestLap_ = -1.0;
  std::array<double, kSectors> bestSectors_{{-1.0, -1.0, -1.0}};
};

}  // namespace korvanel::tools::engineer

// A lap is complete when the host's completed-lap count rises; its times
// are then the host's last-lap fields, whose sector 2 is cumulative. Pit
// state is taken after the lap's completion, so a stop that begins at the
// line (the pit lane crosses it) belongs to the lap that follows.
#include "tools/engineer/lap_history.h"

namespace korvanel::tools::engineer {
namespace {

bool valid(double t) { return t > 0.0; }

void lower(double& best, double candidate) {
  if (valid(candidate) && (!valid(best) || candidate < best)) best = candidate;
}

// Splits of a lap given as the host gives it: sector 1, cumulative sector
// 2 and the lap. -1 where a time is missing.
std::array<double, kSectors> splits(double s1, double s2, double lap) {
  std::array<double, kSectors> out{{-1.0, -1.0, -1.0}};
  if (valid(s1)) out[0] = s1;
  if (valid(s1) && valid(s2) && s2 > s1) out[1] = s2 - s1;
  if (valid(s2) && valid(lap) && lap > s2) out[2] = lap - s2;
  return out;
}

}  // namespace

void LapHistory::takeBests(double lap, double s1, double s2cumulative) {
  lower(bestLap_, lap);
  std::array<double, kSectors> s = splits(s1, s2cumulative, lap);
  for (int k = 0; k < kSectors; ++k) lower(bestSectors_[k], s[k]);
}

void LapHistory::completeLap(const KorvanelHostVehicle& v) {
  Entry& e = laps_[count_ % kKeptLaps];
  e.times.lap = v.lapsCompleted;
  e.times.time = valid(v.lastLapTime) ? v.lastLapTime : -1.0;
  e.times.sectors = splits(v.lastSector1, v.lastSector2, v.lastLapTime);
  e.times.pit = lapPit_;
  e.green = lapGreen_ && !lapPit_ && valid(v.lastLapTime);
  e.gapAhead = v.lapsBehindNext == 0 && v.place > 1 ? v.timeBehindNext : -1.0;
  ++count_;
  takeBests(v.lastLapTime, v.lastSector1, v.lastSector2);
}

void LapHistory::update(const KorvanelVehicleInfoV2& vehicle, double now, bool green) {
  const KorvanelHostVehicle& v = vehicle.host;
  // The host's own bests cover laps before the history began.
  takeBests(v.bestLapTime, v.bestSector1, v.bestSector2);
  if (lapsCompleted_ < 0) {
    // First sight: the lap under way began before, its flags are unknown.
    lapsCompleted_ = v.lapsCompleted;
    stintStart_ = v.lapsCompleted;
    lapGreen_ = false;
    lapPit_ = v.inPits != 0;
    // A car already in the pits: its time there counts from now, but the
    // entry was not seen and is no stop.
    inPits_ = v.inPits != 0;
    pitEntry_ = now;
  } else if (v.lapsCompleted > lapsCompleted_) {
    completeLap(v);
    lapsCompleted_ = v.lapsCompleted;
    lapGreen_ = green;
    lapPit_ = false;
  } else if (v.lapsCompleted < lapsCompleted_) {
    // Counted back (the host restarted the car's count): start over.
    lapsCompleted_ = v.lapsCompleted;
    stintStart_ = v.lapsCompleted;
    lapGreen_ = false;
  }
  if (!green) lapGreen_ = false;

  bool inPits = v.inPits != 0;
  if (inPits) lapPit_ = true;
  if (inPits && !inPits_) {
    ++pit_.stops;
    pitEntry_ = now;
  } else if (!inPits && inPits_) {
    double stay = now > pitEntry_ ? now - pitEntry_ : 0.0;
    pit_.pitLaneSeconds += stay;
    pit_.lastStopSeconds = stay;
    stintStart_ = v.lapsCompleted;
  }
  inPits_ = inPits;
  pit_.inPits = inPits;
  pit_.stintLaps = inPits ? 0 : v.lapsCompleted - stintStart_;
}

double LapHistory::averageLap() const {
  double sum = 0.0;
  int n = 0;
  for (int k = 0; k < keptLaps() && n < kAverageLaps; ++k) {
    if (!entry(k).green) continue;
    sum += entry(k).times.time;
    ++n;
  }
  return n > 0 ? sum / n : -1.0;
}

double LapHistory::typicalLap() const {
  double average = averageLap();
  if (valid(average)) return average;
  if (count_ > 0 && valid(lap(0).time)) return lap(0).time;
  return bestLap_;
}

PitSummary LapHistory::pit(double now) const {
  PitSummary out = pit_;
  if (inPits_ && now > pitEntry_) {
    // The stop under way counts as it goes.
    out.pitLaneSeconds += now - pitEntry_;
    out.lastStopSeconds = now - pitEntry_;
  }
  return out;
}

std::optional<double> LapHistory::gapTrend() const {
  // The newest gap against the oldest of the last six lines (five laps).
  int newest = -1, oldest = -1;
  for (int k = 0; k < keptLaps() && k <= kAverageLaps; ++k) {
    if (entry(k).gapAhead < 0.0) break;
    if (newest < 0) newest = k;
    oldest = k;
  }
  if (newest < 0 || oldest == newest) return std::nullopt;
  return (entry(newest).gapAhead - entry(oldest).gapAhead) / (oldest - newest);
}

}  // namespace korvanel::tools::engineer

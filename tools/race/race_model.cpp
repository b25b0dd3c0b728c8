// Moving the cars: speed along the lap from the class profile, the driver's
// pace and the stop envelope; sector and lap times where the car crosses a
// boundary within a step; pit stops when the fuel runs low; places and gaps
// from each car's progress.
#include "tools/race/race_model.h"

#include <algorithm>
#include <cmath>

#include "tools/race/race_roster.h"

namespace korvanel::tools {
namespace {

constexpr double kSlowDown = 3.0;     // seconds from speed to standstill
constexpr double kSpeedUp = 4.0;      // seconds from standstill to speed
constexpr double kRefuelRate = 12.0;  // fuel units per second
constexpr double kPitLowFuelLaps = 1.2;

const ClassTraits kClasses[] = {
    {"LMP2", "Falcon", {88.0, 42.0}, 0.00090, 75.0},
    {"GT3", "Meridian", {78.0, 37.0}, 0.00110, 100.0},
    {"GT4 Cup", "Talon", {70.0, 33.0}, 0.00095, 90.0},
};

double smooth(double x) { return x * x * (3.0 - 2.0 * x); }
double smoothSlope(double x) { return 6.0 * x * (1.0 - x); }

// Average speed of a lap at full pace, for the gaps in seconds.
double lapAverageSpeed(const Track& track, const SpeedProfile& profile) {
  const int steps = 2000;
  double h = track.length() / steps, time = 0.0;
  for (int i = 0; i < steps; ++i) time += h / track.speed(profile, (i + 0.5) * h, nullptr);
  return track.length() / time;
}

}  // namespace

const ClassTraits& RaceModel::classTraits(int index) { return kClasses[index]; }

RaceModel::RaceModel(const RaceOptions& options)
    : options_(options), track_(options.trackLength), random_(options.seed) {
  options_.classes = std::clamp(options_.classes, 1, 3);
  int n = std::max(options_.cars, 1);
  std::vector<std::string> names = driverNames(n, random_);
  player_ = options_.playerGrid >= 0 && options_.playerGrid < n
                ? options_.playerGrid
                : defaultPlayerSlot(n, options_.classes);
  cars_.resize(n);
  double lap = track_.length();
  for (int i = 0; i < n; ++i) {
    Car& car = cars_[i];
    car.classIndex = classOfSlot(i, n, options_.classes);
    const ClassTraits& traits = kClasses[car.classIndex];
    car.player = i == player_;
    car.driver = car.player ? "Player One" : names[i];
    car.vehicle = vehicleName(traits.make, traits.name, i);
    car.pace = car.player ? 0.985 : random_.between(0.965, 1.0);
    car.s = -8.0 * i - 4.0;
    car.upStart = options_.gridSeconds;
    double startLaps = random_.between(1.3, 6.0);
    car.fuel = std::min(traits.tank, startLaps * traits.burnPerMetre * lap);
  }
  for (int c = 0; c < 3; ++c) averageSpeed_[c] = lapAverageSpeed(track_, kClasses[c].profile);
  hostText_ = "Korvanel substitute host: " + std::to_string(n) + " cars, seed " +
              std::to_string(options_.seed);
  vehicles_.resize(n);
}

uint8_t RaceModel::phase() const {
  if (finished_) return kPhaseOver;
  if (time_ < options_.gridSeconds - 1.5) return kPhaseFormation;
  if (time_ < options_.gridSeconds) return kPhaseCountdown;
  return kPhaseGreen;
}

double RaceModel::envelope(const Car& car, double t, double* derivative) const {
  double x;
  if (t >= car.upStart) {
    x = std::min((t - car.upStart) / kSpeedUp, 1.0);
    if (derivative) *derivative = x < 1.0 ? smoothSlope(x) / kSpeedUp : 0.0;
    return smooth(x);
  }
  x = std::min((t - car.downStart) / kSlowDown, 1.0);
  if (derivative) *derivative = x < 1.0 ? -smoothSlope(x) / kSlowDown : 0.0;
  return 1.0 - smooth(x);
}

double RaceModel::carSpeed(const Car& car, double s, double t, double* accel) const {
  double slope = 0.0, envelopeSlope = 0.0;
  double scale = car.pace * car.lapPace;
  double profile = track_.speed(kClasses[car.classIndex].profile, s, &slope) * scale;
  double g = envelope(car, t, &envelopeSlope);
  double v = profile * g;
  // dv/dt = dv/ds * ds/dt + dv/dt at a fixed place.
  if (accel) *accel = slope * scale * g * v + profile * envelopeSlope;
  return v;
}

void RaceModel::step(double dt) {
  if (finished_) return;
  for (Car& car : cars_) advanceCar(car, dt);
  time_ += dt;
  for (Car& car : cars_) {
    car.speed = car.finishTime >= 0.0 ? 0.0 : carSpeed(car, car.s, time_, &car.accel);
    if (car.finishTime >= 0.0) car.accel = 0.0;
  }
  bool done =
      options_.laps > 0
          ? time_ >= timeUp() || std::any_of(cars_.begin(), cars_.end(),
                                             [&](const Car& c) { return c.laps >= options_.laps; })
          : std::all_of(cars_.begin(), cars_.end(),
                        [](const Car& c) { return c.finishTime >= 0.0; });
  if (done) finish();
}

void RaceModel::advanceCar(Car& car, double dt) {
  if (car.finishTime >= 0.0) return;  // stopped past the line
  const ClassTraits& traits = kClasses[car.classIndex];
  double t = time_;
  // Midpoint step: second-order accurate, so times and places stay smooth.
  double v1 = carSpeed(car, car.s, t, nullptr);
  double v2 = carSpeed(car, car.s + v1 * dt / 2.0, t + dt / 2.0, nullptr);
  double from = car.s, to = car.s + v2 * dt;
  car.fuel = std::max(0.0, car.fuel - traits.burnPerMetre * (to - from));
  double standing = car.downStart + kSlowDown;
  if (t >= standing && t < car.upStart && car.fuel < car.refuelTo) {
    car.fuel = std::min(car.refuelTo, car.fuel + kRefuelRate * dt);
  }

  double lap = track_.length();
  const double bounds[] = {0.0, lap / 3.0, 2.0 * lap / 3.0, lap};
  for (int b = 0; b < 4; ++b) {
    if (!(from < bounds[b] && to >= bounds[b])) continue;
    double when = t + dt * (bounds[b] - from) / (to - from);
    if (b == 1 && car.lapStart >= 0) {
      car.cur1 = when - car.lapStart;
      double& best = car.sectors.best[1];
      if (best < 0 || car.cur1 < best) best = car.cur1;
    } else if (b == 2 && car.lapStart >= 0) {
      car.cur2 = when - car.lapStart;
      double second = car.cur2 - car.cur1;
      double& best = car.sectors.best[2];
      if (car.cur1 > 0 && (best < 0 || second < best)) best = second;
    } else if (b == 0 || b == 3) {
      crossLine(car, when);
    }
  }
  car.s = car.finishTime >= 0.0 ? 0.0 : to >= lap ? to - lap : to;
}

bool RaceModel::takesFlag(const Car& car, double when) const {
  if (options_.laps > 0 || when < timeUp()) return false;
  double lap = track_.length();
  for (const Car& other : cars_) {
    if (other.finishTime >= 0.0) return true;  // the leader has finished
  }
  // The first to finish is the leader; `car` has just counted its lap.
  for (const Car& other : cars_) {
    if (&other != &car && other.laps + other.s / lap > car.laps) return false;
  }
  return true;
}

void RaceModel::crossLine(Car& car, double when) {
  const ClassTraits& traits = kClasses[car.classIndex];
  if (car.lapStart >= 0) {
    double lapTime = when - car.lapStart;
    ++car.laps;
    car.last1 = car.cur1;
    car.last2 = car.cur2;
    car.lastLap = lapTime;
    if (car.bestLap < 0 || lapTime < car.bestLap) {
      car.bestLap = lapTime;
      car.best1 = car.cur1;
      car.best2 = car.cur2;
    }
    car.lapTimes.push_back(lapTime);
    double third = lapTime - car.cur2;
    double& best = car.sectors.best[0];
    if (car.cur2 > 0 && (best < 0 || third < best)) best = third;
  }
  car.lapStart = when;
  car.cur1 = car.cur2 = -1.0;
  if (car.laps > 0 && takesFlag(car, when)) {
    car.finishTime = when;  // stops at the line, no stop for fuel
    return;
  }
  car.lapPace = random_.between(0.995, 1.005);

  // Not enough fuel for another lap: stop in the pits after the line.
  double needed = kPitLowFuelLaps * traits.burnPerMetre * track_.length();
  if (car.fuel < needed && when > car.upStart + kSpeedUp) {
    car.refuelTo = traits.tank;
    double refuel = (traits.tank - car.fuel) / kRefuelRate;
    car.downStart = when;
    car.upStart = when + kSlowDown + 2.0 + refuel;
    ++car.pitStopCount;
  }
}

// From slowing down for the stop until back up to speed; the grid start
// is no stop.
bool RaceModel::carInPits(const Car& car) const {
  return car.downStart > 0 && time_ >= car.downStart && time_ < car.upStart + kSpeedUp;
}

void RaceModel::finish() {
  if (finished_) return;
  finished_ = true;
  for (Car& car : cars_) {
    car.speed = 0.0;
    car.accel = 0.0;
  }
}

void RaceModel::updatePlaces() {
  int n = static_cast<int>(cars_.size());
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  double lap = track_.length();
  auto progress = [&](int i) { return cars_[i].laps + cars_[i].s / lap; };
  // Cars that finished on the same lap stand at the line: the first to finish leads.
  auto finishedFirst = [&](int a, int b) {
    double fa = cars_[a].finishTime, fb = cars_[b].finishTime;
    return fa >= 0.0 && (fb < 0.0 || fa < fb);
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    double pa = progress(a), pb = progress(b);
    return pa != pb ? pa > pb : finishedFirst(a, b);
  });
  double leader = progress(order[0]);
  double behindLeader = 0.0;
  for (int r = 0; r < n; ++r) {
    Car& car = cars_[order[r]];
    car.place = static_cast<uint8_t>(std::min(r + 1, 255));
    if (r == 0) {
      car.timeBehindNext = car.timeBehindLeader = 0.0;
      car.lapsBehindNext = car.lapsBehindLeader = 0;
      continue;
    }
    double ahead = progress(order[r - 1]), mine = progress(order[r]);
    double average = averageSpeed_[car.classIndex] * car.pace;
    const Car& next = cars_[order[r - 1]];
    bool bothFinished = car.finishTime >= 0.0 && next.finishTime >= 0.0 && ahead == mine;
    car.timeBehindNext =
        bothFinished ? car.finishTime - next.finishTime : (ahead - mine) * lap / average;
    car.lapsBehindNext = static_cast<int>(std::floor(ahead - mine));
    behindLeader += car.timeBehindNext;
    car.timeBehindLeader = behindLeader;
    car.lapsBehindLeader = static_cast<int>(std::floor(leader - mine));
  }
}

}  // namespace korvanel::tools

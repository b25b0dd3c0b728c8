// The race behind the substitute host: cars of up to three classes lapping
// a closed track, with sector and lap times, places and gaps, pit stops
// with refuelling, and the player's car. It advances in fixed steps and
// fills the host's records from its state. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_records.h"
#include "tools/race/random.h"
#include "tools/race/track.h"

namespace korvanel::tools {

struct RaceOptions {
  int cars = 20;
  int classes = 3;
  double trackLength = 4000.0;
  std::string trackName = "Korvanel Ring";
  int32_t session = 10;  // 10 to 13: race sessions
  // Seconds the race runs from the green flag. A timed race (laps 0): when
  // they are up, the leader finishes the lap it is on and every other car
  // the next time it crosses the line. A race of laps stops where it stands.
  double sessionLength = 1800.0;
  int laps = 0;              // the race ends when the leader has done these; 0: a timed race
  double gridSeconds = 3.0;  // standing on the grid before the green flag
  uint32_t seed = 1;
  int playerGrid = -1;  // grid slot of the player's car; -1 picks one
};

// Session phases as the host numbers them.
constexpr uint8_t kPhaseFormation = 3;
constexpr uint8_t kPhaseCountdown = 4;
constexpr uint8_t kPhaseGreen = 5;
constexpr uint8_t kPhaseOver = 8;

struct ClassTraits {
  const char* name;
  const char* make;
  SpeedProfile profile;
  double burnPerMetre;  // fuel units per metre
  double tank;          // fuel units
};

// Times of one completed sector or lap, kept for the summary.
struct SectorTruth {
  double best[3] = {-1, -1, -1};  // by host sector code: 0 third, 1 first, 2 second
};

struct Car {
  // Who.
  std::string driver, vehicle;
  int classIndex = 0;
  bool player = false;
  double pace = 1.0;     // this driver's share of the class's speed
  double lapPace = 1.0;  // this lap's variation
  // Where.
  double s = 0.0;  // lap distance; negative on the grid before the line
  int laps = 0;
  double speed = 0.0, accel = 0.0;  // along the track
  // Envelope of stops: slowing from `downStart`, standing, going again at
  // `upStart`. The grid is a stop that never began.
  double downStart = -1e9, upStart = 0.0;
  double refuelTo = 0.0;
  bool pitStops = false;
  // Times, as the host gives them: -1 for none, sector 2 cumulative.
  double lapStart = -1.0;
  double cur1 = -1, cur2 = -1, last1 = -1, last2 = -1, lastLap = -1;
  double best1 = -1, best2 = -1, bestLap = -1;
  double fuel = 0.0;
  uint8_t place = 0;
  double timeBehindNext = 0, timeBehindLeader = 0;
  int lapsBehindNext = 0, lapsBehindLeader = 0;
  // For the summary.
  std::vector<double> lapTimes;
  SectorTruth sectors;
  float sampledTopSpeed = 0.0f;
  int pitStopCount = 0;
  double finishTime = -1.0;  // session time it took the chequered flag; -1 not yet
};

class RaceModel {
 public:
  explicit RaceModel(const RaceOptions& options);

  const RaceOptions& options() const { return options_; }
  const Track& track() const { return track_; }
  const std::vector<Car>& cars() const { return cars_; }
  static const ClassTraits& classTraits(int index);
  int playerIndex() const { return player_; }
  double time() const { return time_; }
  double greenTime() const { return options_.gridSeconds; }
  uint8_t phase() const;
  // The race is over: every car has finished (a timed race) or the leader
  // has done the laps.
  bool finished() const { return finished_; }
  // The timed race's clock has run out: the cars are finishing.
  bool chequered() const { return options_.laps <= 0 && time_ >= timeUp(); }
  // Session time at which the race's time is up.
  double timeUp() const { return greenTime() + options_.sessionLength; }
  // Distance the player drove, summed as speed times step over every
  // telemetry record handed out.
  double playerDistance() const { return playerDistance_; }

  // Advances the race by `dt` seconds. Does nothing once finished.
  void step(double dt);
  // Ends the race where it stands: the cars stop and the phase is over.
  void finish();

  // The host's records of the current moment. The scoring record points
  // into this model and stays valid until the next call of `scoring`.
  const HostScoring& scoring(bool realtime);
  HostTelemetry telemetry(double deltaTime);

 private:
  void advanceCar(Car& car, double dt);
  void crossLine(Car& car, double when);
  // Whether `car`, crossing the line at `when`, takes the chequered flag
  // of a timed race.
  bool takesFlag(const Car& car, double when) const;
  double envelope(const Car& car, double t, double* derivative) const;
  double carSpeed(const Car& car, double s, double t, double* accel) const;
  // Places and gaps from progress; the scoring record calls it.
  void updatePlaces();
  void fillVehicle(const Car& car, HostVehicle& out) const;
  bool carInPits(const Car& car) const;

  RaceOptions options_;
  Track track_;
  Random random_;
  std::vector<Car> cars_;
  int player_ = 0;
  double time_ = 0.0;
  bool finished_ = false;
  double playerDistance_ = 0.0;
  double averageSpeed_[3] = {};  // per class, at full pace
  HostScoring header_{};
  std::vector<HostVehicle> vehicles_;
  std::string hostText_;
};

}  // namespace korvanel::tools

// A small, deterministic race that produces the host's records: distinct
// drivers in mixed classes on a square track, laps and sectors, pit stops,
// gaps, world positions and a player car. It exists to feed the benchmarks
// and the tests that run whole races through the plugin; the same seed gives
// the same records on every build (only +, -, *, / and sqrt, no library
// random numbers), so results can be compared across builds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_records.h"

namespace korvanel::bench {

struct RaceOptions {
  int cars = 20;
  uint64_t seed = 1;
  int playerCar = -1;        // -1: the car a third of the way down the field
  uint8_t realtimeFlag = 1;  // 1: the player drives, so no odometer save per update
  int32_t session = 10;
  double lapLength = 2600.0;  // metres
  double startTime = 300.0;   // session clock when the generator starts
  int maxCars = 160;          // room reserved up front for cars that join later
};

class RaceGenerator {
 public:
  explicit RaceGenerator(const RaceOptions& options);

  // Moves every car `seconds` forward and the session clock with them.
  void advance(double seconds);

  // The scoring record of the current moment (header and vehicles in the
  // host's array order, which is not race order). Valid until the next call
  // of any non-const member.
  const HostScoring* scoring();
  // The player's telemetry record, reporting `deltaTime` as its step.
  const HostTelemetry* telemetry(double deltaTime);

  int cars() const { return static_cast<int>(cars_.size()); }
  int playerCar() const { return player_; }
  double now() const { return now_; }

  // Race events for longer runs.
  void addCar();                                  // a late entry joins at the back
  void swapDriver(int car);                       // same car, the next driver takes over
  void setVehicleStatus(int car, int8_t status);  // e.g. 3: disqualified
  void retire(int car);                           // stops on track, stays in the list
  void setRealtimeFlag(uint8_t flag) { header_.realtimeFlag = flag; }

 private:
  struct Car {
    int classIndex;
    double pace;  // seconds per lap this lap
    double basePace;
    double distance;    // total metres since the start
    double lapStart;    // session clock when the current lap began
    double crossed[2];  // session clock at sectors 1 and 2 of this lap (-1 none)
    double best[3];     // best lap: sector 1, sectors 1+2, lap (-1 none)
    double last[3];
    double speed;  // metres per second at the moment
    double accel;
    int pitLap;  // lap on which it stops, -1 none
    bool retired;
    int driverNumber;
    char driverName[32];
    char vehicleName[64];
    int8_t status;
  };

  uint64_t next();
  double uniform();  // [0, 1)
  void nameDriver(Car& car, int number);
  Car makeCar(int index, double distance);
  void fillVehicle(int k, HostVehicle& v) const;
  void worldPosition(const Car& car, double lane, double* position, double* orientation) const;

  RaceOptions options_;
  uint64_t state_;
  double now_;
  int player_;
  int nextDriverNumber_;
  double fuel_;
  std::vector<Car> cars_;
  std::vector<HostVehicle> vehicles_;
  std::vector<int> order_;
  std::vector<uint8_t> padding_;  // the host's bytes the plugin copies through
  HostScoring header_{};
  HostTelemetry telemetry_{};
  std::string text_;
};

}  // namespace korvanel::bench

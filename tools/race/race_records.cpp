// The host's records of the race's current moment. Velocity and
// acceleration are given in the car's frame (x right, y up, z forward);
// the orientation's rows turn them into world components, so that
// position + v t + a t^2 / 2 lands near where the car will be.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/race/race_model.h"

namespace korvanel::tools {
namespace {

template <size_t N>
void putText(char (&field)[N], const std::string& text) {
  std::snprintf(field, N, "%s", text.c_str());
}

}  // namespace

void RaceModel::fillVehicle(const Car& car, HostVehicle& v) const {
  std::memset(&v, 0, sizeof v);
  const ClassTraits& traits = classTraits(car.classIndex);
  putText(v.driverName, car.driver);
  putText(v.vehicleName, car.vehicle);
  putText(v.vehicleClass, traits.name);
  double lap = track_.length();
  v.lapsCompleted = static_cast<int16_t>(car.laps);
  if (car.s < 0 || car.s >= 2.0 * lap / 3.0) {
    v.sector = 0;
  } else {
    v.sector = car.s < lap / 3.0 ? 1 : 2;
  }
  v.vehicleStatus = 0;
  v.lapDistance = car.s;
  v.bestSector1 = car.best1;
  v.bestSector2 = car.best2;
  v.bestLapTime = car.bestLap;
  v.lastSector1 = car.last1;
  v.lastSector2 = car.last2;
  v.lastLapTime = car.lastLap;
  v.currentSector1 = car.cur1;
  v.currentSector2 = car.cur2;
  v.isPlayer = car.player ? 1 : 0;
  v.control = car.player ? 0 : 1;  // 0 the local player, 1 the computer
  v.inPits = carInPits(car) ? 1 : 0;
  v.place = car.place;
  v.timeBehindNext = car.timeBehindNext;
  v.lapsBehindNext = car.lapsBehindNext;
  v.timeBehindLeader = car.timeBehindLeader;
  v.lapsBehindLeader = car.lapsBehindLeader;

  TrackPoint p = track_.at(car.s);
  v.position[0] = p.x;
  v.position[1] = p.y;
  v.position[2] = p.z;
  // Right-handed car frame: right = up x forward = (fz, 0, -fx).
  double rx = p.fz, rz = -p.fx;
  v.localVelocity[2] = car.speed;
  double lateral = car.speed * car.speed * p.curvature * (p.cx * rx + p.cz * rz);
  v.localAcceleration[0] = lateral;
  v.localAcceleration[2] = car.accel;
  const double rows[9] = {rx, 0.0, p.fx, 0.0, 1.0, 0.0, rz, 0.0, p.fz};
  std::memcpy(v.orientation, rows, sizeof rows);
}

const HostScoring& RaceModel::scoring(bool realtime) {
  updatePlaces();
  for (size_t i = 0; i < cars_.size(); ++i) {
    fillVehicle(cars_[i], vehicles_[i]);
    double lv[3];
    std::memcpy(lv, vehicles_[i].localVelocity, sizeof lv);
    float speed = static_cast<float>(std::sqrt(lv[0] * lv[0] + lv[1] * lv[1] + lv[2] * lv[2]));
    if (speed > cars_[i].sampledTopSpeed) cars_[i].sampledTopSpeed = speed;
  }
  std::memset(&header_, 0, sizeof header_);
  putText(header_.trackName, options_.trackName);
  header_.session = options_.session;
  header_.currentTime = time_;
  header_.lapLength = track_.length();
  header_.hostText = hostText_.c_str();
  header_.vehicleCount = static_cast<int32_t>(vehicles_.size());
  header_.phase = phase();
  header_.realtimeFlag = realtime ? 1 : 0;
  header_.vehicles = vehicles_.data();
  return header_;
}

HostTelemetry RaceModel::telemetry(double deltaTime) {
  HostTelemetry t;
  std::memset(&t, 0, sizeof t);
  const Car& car = cars_[player_];
  HostVehicle v;
  fillVehicle(car, v);
  t.deltaTime = deltaTime;
  t.lapNumber = car.laps;
  t.lapStartTime = car.lapStart > 0 ? car.lapStart : 0.0;
  putText(t.vehicleName, car.vehicle);
  std::memcpy(t.position, v.position, sizeof t.position);
  std::memcpy(t.localVelocity, v.localVelocity, sizeof t.localVelocity);
  t.fuelLevel = car.fuel;
  // The odometer's measure of the step, worked the same way from the record.
  double lv[3];
  std::memcpy(lv, t.localVelocity, sizeof lv);
  playerDistance_ += std::sqrt(lv[0] * lv[0] + lv[1] * lv[1] + lv[2] * lv[2]) * deltaTime;
  return t;
}

}  // namespace korvanel::tools

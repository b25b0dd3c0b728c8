// The race model behind the generated host records.
#include "tools/race/race_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace korvanel::bench {
namespace {

struct CarClass {
  const char* name;
  double lapPace;  // seconds for a 2600 m lap
  const char* makes[3];
};

// Five classes whose names exercise every kind of class pattern: exact names,
// "contains GT4", and the player's own class.
constexpr CarClass kClasses[] = {
    {"LMP1", 48.0, {"Orvane R18", "Talbek P1", "Castrell LM"}},
    {"LMP2", 51.5, {"Oreval 07", "Ligant JS", "Dallmar P217"}},
    {"GT3", 55.0, {"Ferrox 488", "Brenner M6", "Astor Vantage"}},
    {"GT4 Pro", 58.0, {"Kestrel GT4", "Mornay Alpine", "Sorin Cayman"}},
    {"GT4 Am", 59.5, {"Kestrel GT4", "Corvan 570S", "Sorin Cayman"}},
};
constexpr int kClassCount = sizeof kClasses / sizeof kClasses[0];
// How often each class turns up on the grid: GT3 is the big one.
constexpr int kClassMix[] = {2, 2, 0, 1, 2, 3, 4, 2, 1, 3, 2, 4, 0, 2, 3};

constexpr const char* kFirstNames[30] = {
    "Jane", "John",  "Aiko", "Bruno", "Carla", "Dmitri", "Elena", "Felix", "Greta", "Hugo",
    "Ines", "Jonas", "Kira", "Lars",  "Maya",  "Nico",   "Olga",  "Pedro", "Quinn", "Rosa",
    "Sven", "Tara",  "Ugo",  "Vera",  "Wim",   "Xenia",  "Yusuf", "Zoe",   "Amir",  "Britt"};
constexpr const char* kLastNames[30] = {
    "Doe",      "Smith", "Tanaka", "Moreau", "Rossi",  "Ivanov",   "Santos", "Weber",
    "Lund",     "Petit", "Costa",  "Berg",   "Novak",  "Holm",     "Okafor", "Ricci",
    "Sato",     "Vidal", "Keane",  "Marin",  "Dahl",   "Kowalski", "Ferrer", "Nagy",
    "Smithson", "Varga", "Ozturk", "Laine",  "Haddad", "Brandt"};

constexpr double kPitLaneFraction = 0.1;  // of the lap, at reduced speed
constexpr double kPitSpeedFactor = 0.35;

// A symmetric wave over each straight of the square: slow into the corners,
// fast in the middle, averaging 0 so a lap takes the car's pace.
double straightWave(double lapFraction) {
  double s = lapFraction * 4.0;
  s -= std::floor(s);
  return 1.0 - 4.0 * std::fabs(s - 0.5);
}

template <size_t N>
void setText(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::snprintf(field, N, "%s", text);
}

}  // namespace

RaceGenerator::RaceGenerator(const RaceOptions& options)
    : options_(options),
      state_(options.seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E5Dull),
      now_(options.startTime),
      nextDriverNumber_(0),
      fuel_(80.0) {
  int maxCars = std::max(options_.maxCars, options_.cars);
  cars_.reserve(maxCars);
  vehicles_.resize(maxCars);
  order_.reserve(maxCars);
  // Per vehicle, then the header's and the telemetry's own stretch.
  padding_.resize(static_cast<size_t>(maxCars) * sizeof(HostVehicle) + 1024 +
                  sizeof(HostTelemetry));
  for (uint8_t& b : padding_) b = static_cast<uint8_t>(next() >> 56);

  player_ = options_.playerCar >= 0 ? options_.playerCar : options_.cars / 3;
  player_ = std::min(player_, std::max(options_.cars - 1, 0));
  for (int i = 0; i < options_.cars; ++i) {
    // Spread over the first laps as after some minutes of racing.
    double lapsDone = now_ / kClasses[kClassMix[i % 15]].lapPace;
    double distance = (lapsDone - 0.02 * i - 0.3 * uniform()) * options_.lapLength;
    cars_.push_back(makeCar(i, std::max(distance, 1.0)));
  }

  const uint8_t* tail = padding_.data() + static_cast<size_t>(maxCars) * sizeof(HostVehicle);
  // Field by field: the header holds pointers, so its layout differs between
  // 32- and 64-bit builds, and the same bytes must land in the same fields.
  std::memcpy(header_.passthrough112, tail, sizeof header_.passthrough112);
  std::memcpy(header_.passthrough144, tail + 32, sizeof header_.passthrough144);
  std::memcpy(header_.passthrough240, tail + 96, sizeof header_.passthrough240);
  std::memcpy(header_.passthrough280, tail + 120, sizeof header_.passthrough280);
  header_.passthrough84 = static_cast<int32_t>(tail[376] | tail[377] << 8);
  header_.passthrough105 = static_cast<int8_t>(tail[378]);
  header_.passthrough106 = static_cast<int16_t>(tail[379]);
  header_.passthrough108 = static_cast<int8_t>(tail[380]);
  header_.passthrough109 = static_cast<int8_t>(tail[381]);
  header_.passthrough110 = static_cast<int8_t>(tail[382]);
  // Doubles the plugin copies as doubles get ordinary values (a random bit
  // pattern could be a signalling NaN, which some copies quieten).
  header_.passthrough76 = 2700.0;
  header_.passthrough208 = 22.5;
  header_.passthrough216 = 31.0;
  header_.passthrough224 = 0.25;
  header_.passthrough232 = 1.0;
  header_.passthrough264 = 0.0;
  header_.passthrough272 = 101.3;
  setText(header_.trackName, "Eastfield Circuit");
  header_.session = options_.session;
  header_.lapLength = options_.lapLength;
  header_.phase = 5;  // green flag
  header_.realtimeFlag = options_.realtimeFlag;
  text_ = "Race 1 of the Eastfield weekend: 45 minutes, mixed classes, full course yellow rules";

  std::memcpy(&telemetry_, tail + 1024, sizeof telemetry_);
}

uint64_t RaceGenerator::next() {
  // splitmix64: small, fast and the same everywhere.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double RaceGenerator::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

void RaceGenerator::nameDriver(Car& car, int number) {
  int a = number % 30;
  int b = (number / 30 + 7 * a) % 30;  // a bijection for each first name
  std::memset(car.driverName, 0, sizeof car.driverName);
  if (number < 900) {
    std::snprintf(car.driverName, sizeof car.driverName, "%s %s", kFirstNames[a], kLastNames[b]);
  } else {
    std::snprintf(car.driverName, sizeof car.driverName, "%s %s %d", kFirstNames[a], kLastNames[b],
                  number / 900);
  }
  car.driverNumber = number;
}

RaceGenerator::Car RaceGenerator::makeCar(int index, double distance) {
  Car c{};
  c.classIndex = kClassMix[index % 15];
  const CarClass& cls = kClasses[c.classIndex];
  double scale = options_.lapLength / 2600.0;
  c.basePace = cls.lapPace * scale * (1.0 + 0.03 * (uniform() - 0.5));
  c.pace = c.basePace;
  c.distance = distance;
  c.speed = options_.lapLength / c.pace;
  c.retired = false;
  c.status = 0;
  nameDriver(c, nextDriverNumber_++);
  std::memset(c.vehicleName, 0, sizeof c.vehicleName);
  std::snprintf(c.vehicleName, sizeof c.vehicleName, "%s #%d", cls.makes[index % 3], index + 2);

  // History: the laps already driven have a last and a best lap.
  double laps = std::floor(distance / options_.lapLength);
  double intoLap = distance - laps * options_.lapLength;
  c.lapStart = now_ - intoLap / c.speed;
  c.crossed[0] = c.crossed[1] = -1.0;
  if (intoLap > options_.lapLength / 3.0) c.crossed[0] = c.lapStart + c.pace / 3.0;
  if (intoLap > 2.0 * options_.lapLength / 3.0) c.crossed[1] = c.lapStart + 2.0 * c.pace / 3.0;
  for (int k = 0; k < 3; ++k) c.best[k] = c.last[k] = -1.0;
  if (laps >= 1.0) {
    double last = c.pace * (1.0 + 0.01 * uniform());
    c.last[0] = last * 0.33;
    c.last[1] = last * 0.67;
    c.last[2] = last;
    if (laps >= 2.0) {
      double best = c.pace * (1.0 + 0.004 * uniform());
      if (best < last) {
        c.best[0] = best * 0.335;
        c.best[1] = best * 0.668;
        c.best[2] = best;
      } else {
        for (int k = 0; k < 3; ++k) c.best[k] = c.last[k];
      }
    } else {
      for (int k = 0; k < 3; ++k) c.best[k] = c.last[k];
    }
  }
  c.pitLap = uniform() < 0.5 ? static_cast<int>(laps) + 1 + static_cast<int>(4 * uniform()) : -1;
  return c;
}

void RaceGenerator::advance(double seconds) {
  const double lap = options_.lapLength;
  for (Car& c : cars_) {
    if (c.retired) continue;
    double laps = std::floor(c.distance / lap);
    double fraction = c.distance / lap - laps;
    double base = lap / c.pace;
    double wave = straightWave(fraction);
    double speed = base * (1.0 + 0.2 * wave);
    if (static_cast<int>(laps) == c.pitLap && fraction < kPitLaneFraction) {
      speed *= kPitSpeedFactor;
    }
    c.accel = (speed - c.speed) / seconds;
    c.speed = speed;
    double from = c.distance;
    double to = from + speed * seconds;
    auto crossingTime = [&](double at) { return now_ + seconds * (at - from) / (to - from); };

    for (int s = 0; s < 2; ++s) {
      double boundary = (laps + (s + 1) / 3.0) * lap;
      if (from < boundary && to >= boundary) c.crossed[s] = crossingTime(boundary);
    }
    double line = (laps + 1.0) * lap;
    if (to >= line) {
      double at = crossingTime(line);
      double lapTime = at - c.lapStart;
      if (c.crossed[0] > 0.0 && c.crossed[1] > 0.0) {
        c.last[0] = c.crossed[0] - c.lapStart;
        c.last[1] = c.crossed[1] - c.lapStart;
        c.last[2] = lapTime;
        if (c.best[2] < 0.0 || lapTime < c.best[2]) {
          for (int k = 0; k < 3; ++k) c.best[k] = c.last[k];
        }
      }
      c.lapStart = at;
      c.crossed[0] = c.crossed[1] = -1.0;
      c.pace = c.basePace * (1.0 + 0.012 * (uniform() - 0.35));
    }
    c.distance = to;
  }
  fuel_ = std::max(0.0, fuel_ - 0.045 * seconds);
  now_ += seconds;
}

void RaceGenerator::worldPosition(const Car& car, double lane, double* position,
                                  double* orientation) const {
  const double lap = options_.lapLength;
  const double side = lap / 4.0;
  double along = car.distance - std::floor(car.distance / lap) * lap;
  int leg = std::min(3, static_cast<int>(along / side));
  double t = along - leg * side;
  static constexpr double kCorner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  static constexpr double kHeading[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  double dx = kHeading[leg][0];
  double dz = kHeading[leg][1];
  // Lane offset to the left of the heading, so cars side by side differ.
  position[0] = kCorner[leg][0] * side + dx * t - dz * lane;
  position[1] = 0.5 + 0.01 * lane;
  position[2] = kCorner[leg][1] * side + dz * t + dx * lane;
  // Rows turn the car's frame (z forward) into world axes.
  const double r[9] = {dz, 0.0, dx, 0.0, 1.0, 0.0, -dx, 0.0, dz};
  std::memcpy(orientation, r, sizeof r);
}

void RaceGenerator::fillVehicle(int k, HostVehicle& v) const {
  const Car& c = cars_[k];
  const double lap = options_.lapLength;
  std::memcpy(&v, padding_.data() + static_cast<size_t>(k) * sizeof(HostVehicle), sizeof v);
  setText(v.driverName, c.driverName);
  setText(v.vehicleName, c.vehicleName);
  setText(v.vehicleClass, kClasses[c.classIndex].name);

  double laps = std::floor(c.distance / lap);
  double into = c.distance - laps * lap;
  v.lapsCompleted = static_cast<int16_t>(laps);
  v.sector = into < lap / 3.0 ? 1 : (into < 2.0 * lap / 3.0 ? 2 : 0);
  v.vehicleStatus = c.status;
  v.lapDistance = into;
  v.bestSector1 = c.best[0];
  v.bestSector2 = c.best[1];
  v.bestLapTime = c.best[2];
  v.lastSector1 = c.last[0];
  v.lastSector2 = c.last[1];
  v.lastLapTime = c.last[2];
  v.currentSector1 = c.crossed[0] > 0.0 ? c.crossed[0] - c.lapStart : -1.0;
  v.currentSector2 = c.crossed[1] > 0.0 ? c.crossed[1] - c.lapStart : -1.0;
  v.isPlayer = k == player_ ? 1 : 0;
  v.control = k == player_ ? 0 : 1;
  v.inPits = static_cast<int>(laps) == c.pitLap && into < kPitLaneFraction * lap ? 1 : 0;

  // The host's records are packed: fields of doubles may be misaligned, so
  // they are filled by copying, never through a double pointer.
  double position[3];
  double orientation[9];
  worldPosition(c, (k % 5) - 2.0, position, orientation);
  std::memcpy(v.position, position, sizeof position);
  std::memcpy(v.orientation, orientation, sizeof orientation);
  double lateral = 0.4 * straightWave(into / lap + 0.125);
  v.localVelocity[0] = lateral;
  v.localVelocity[1] = 0.0;
  v.localVelocity[2] = c.retired ? 0.0 : c.speed;
  v.localAcceleration[0] = c.retired ? 0.0 : c.speed * c.speed / 400.0 * straightWave(into / lap);
  v.localAcceleration[1] = 0.0;
  v.localAcceleration[2] = c.retired ? 0.0 : c.accel;
}

const HostScoring* RaceGenerator::scoring() {
  const int n = cars();
  order_.clear();
  for (int i = 0; i < n; ++i) order_.push_back(i);
  std::sort(order_.begin(), order_.end(), [this](int a, int b) {
    if (cars_[a].distance != cars_[b].distance) return cars_[a].distance > cars_[b].distance;
    return a < b;
  });

  const double lap = options_.lapLength;
  double behindLeader = 0.0;
  for (int r = 0; r < n; ++r) {
    int k = order_[r];
    HostVehicle& v = vehicles_[k];
    fillVehicle(k, v);
    v.place = static_cast<uint8_t>(r + 1);
    if (r == 0) {
      v.timeBehindNext = 0.0;
      v.lapsBehindNext = 0;
      v.timeBehindLeader = 0.0;
      v.lapsBehindLeader = 0;
      continue;
    }
    const Car& ahead = cars_[order_[r - 1]];
    const Car& leader = cars_[order_[0]];
    const Car& c = cars_[k];
    double average = lap / c.basePace;
    double gap = (ahead.distance - c.distance) / average;
    behindLeader += gap;
    v.timeBehindNext = gap;
    v.lapsBehindNext = static_cast<int32_t>(std::floor((ahead.distance - c.distance) / lap));
    v.timeBehindLeader = behindLeader;
    v.lapsBehindLeader = static_cast<int32_t>(std::floor((leader.distance - c.distance) / lap));
  }

  header_.currentTime = now_;
  header_.hostText = text_.c_str();
  header_.vehicleCount = n;
  header_.vehicles = vehicles_.data();
  return &header_;
}

const HostTelemetry* RaceGenerator::telemetry(double deltaTime) {
  const Car& c = cars_[player_];
  const double lap = options_.lapLength;
  double laps = std::floor(c.distance / lap);
  double position[3];
  double orientation[9];
  telemetry_.deltaTime = deltaTime;
  telemetry_.lapNumber = static_cast<int32_t>(laps);
  telemetry_.lapStartTime = c.lapStart;
  setText(telemetry_.vehicleName, c.vehicleName);
  worldPosition(c, (player_ % 5) - 2.0, position, orientation);
  std::memcpy(telemetry_.position, position, sizeof position);
  telemetry_.localVelocity[0] = 0.3 * straightWave(c.distance / lap - laps + 0.125);
  telemetry_.localVelocity[1] = 0.0;
  telemetry_.localVelocity[2] = c.retired ? 0.0 : c.speed;
  telemetry_.fuelLevel = fuel_;
  return &telemetry_;
}

void RaceGenerator::addCar() {
  int index = cars();
  if (index >= static_cast<int>(vehicles_.size())) return;
  double last = cars_.empty() ? options_.lapLength : cars_.back().distance;
  for (const Car& c : cars_) last = std::min(last, c.distance);
  cars_.push_back(makeCar(index, std::max(1.0, last - 50.0)));
}

void RaceGenerator::swapDriver(int car) {
  if (car < 0 || car >= cars()) return;
  nameDriver(cars_[car], nextDriverNumber_++);
}

void RaceGenerator::setVehicleStatus(int car, int8_t status) {
  if (car >= 0 && car < cars()) cars_[car].status = status;
}

void RaceGenerator::retire(int car) {
  if (car < 0 || car >= cars()) return;
  cars_[car].retired = true;
  cars_[car].speed = 0.0;
  cars_[car].accel = 0.0;
}

}  // namespace korvanel::bench

// The race model behind the substitute host: the records it hands out must
// be ones a plugin can trust (consistent times, places, motion, player).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "tools/race/race_model.h"
#include "tools/race/race_summary.h"

namespace korvanel::tools {
namespace {

constexpr double kStep = 1.0 / 90.0;

RaceOptions shortRace(uint32_t seed = 3) {
  RaceOptions o;
  o.cars = 12;
  o.trackLength = 1200.0;
  o.laps = 4;
  o.seed = seed;
  return o;
}

// Runs the model, calling `check` with every fifth-of-a-second scoring record.
template <typename Check>
void runScoring(RaceModel& model, Check check) {
  for (long i = 1; !model.finished(); ++i) {
    model.step(kStep);
    if (i % 18 == 0) check(model.scoring(true));
  }
  check(model.scoring(true));
}

TEST(RaceModel, SameSeedSameRecordsOtherSeedOtherRace) {
  RaceModel a(shortRace(5)), b(shortRace(5)), c(shortRace(6));
  for (int i = 0; i < 3000; ++i) {
    a.step(kStep);
    b.step(kStep);
    c.step(kStep);
  }
  const HostScoring& sa = a.scoring(true);
  const HostScoring& sb = b.scoring(true);
  ASSERT_EQ(sa.vehicleCount, sb.vehicleCount);
  EXPECT_EQ(0, std::memcmp(sa.vehicles, sb.vehicles, sizeof(HostVehicle) * sa.vehicleCount));
  HostTelemetry ta = a.telemetry(kStep), tb = b.telemetry(kStep);
  EXPECT_EQ(0, std::memcmp(&ta, &tb, sizeof ta));
  const HostScoring& sc = c.scoring(true);
  EXPECT_NE(0, std::memcmp(sa.vehicles, sc.vehicles, sizeof(HostVehicle) * sa.vehicleCount));
}

TEST(RaceModel, SectorAndLapTimesAreCumulativeAndMatchTheSector) {
  RaceModel model(shortRace());
  double third = model.track().length() / 3.0;
  runScoring(model, [&](const HostScoring& s) {
    for (int i = 0; i < s.vehicleCount; ++i) {
      const HostVehicle& v = s.vehicles[i];
      if (v.currentSector2 > 0) {
        EXPECT_GT(double(v.currentSector2), double(v.currentSector1));
      }
      if (v.currentSector1 > 0) {
        EXPECT_GE(double(v.lapDistance), third - 1.0);
      }
      if (v.lastLapTime > 0) {
        EXPECT_GT(double(v.lastSector1), 0.0);
        EXPECT_GT(double(v.lastSector2), double(v.lastSector1));
        EXPECT_GT(double(v.lastLapTime), double(v.lastSector2));
      }
      if (v.bestLapTime > 0) {
        EXPECT_LE(double(v.bestLapTime), double(v.lastLapTime));
        EXPECT_GT(double(v.bestSector2), double(v.bestSector1));
      }
      int expected = v.lapDistance < 0 || v.lapDistance >= 2 * third ? 0
                     : v.lapDistance < third                         ? 1
                                                                     : 2;
      EXPECT_EQ(expected, v.sector) << "lap distance " << v.lapDistance;
    }
  });
}

TEST(RaceModel, PlacesFollowProgressAndGapsAddUp) {
  RaceModel model(shortRace());
  double lap = model.track().length();
  runScoring(model, [&](const HostScoring& s) {
    std::vector<const HostVehicle*> order;
    std::set<int> places;
    for (int i = 0; i < s.vehicleCount; ++i) {
      order.push_back(&s.vehicles[i]);
      places.insert(s.vehicles[i].place);
    }
    ASSERT_EQ(static_cast<size_t>(s.vehicleCount), places.size());
    EXPECT_EQ(1, *places.begin());
    EXPECT_EQ(s.vehicleCount, *places.rbegin());
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->place < b->place; });
    double sum = 0.0;
    for (size_t k = 1; k < order.size(); ++k) {
      double ahead = order[k - 1]->lapsCompleted + order[k - 1]->lapDistance / lap;
      double mine = order[k]->lapsCompleted + order[k]->lapDistance / lap;
      EXPECT_GE(ahead, mine);
      EXPECT_GE(double(order[k]->timeBehindNext), 0.0);
      sum += order[k]->timeBehindNext;
      EXPECT_NEAR(sum, order[k]->timeBehindLeader, 1e-9);
      EXPECT_EQ(static_cast<int>(std::floor(ahead - mine)), order[k]->lapsBehindNext);
    }
  });
}

// Where dead reckoning from a scoring record puts each car a scoring
// interval later, against where the car really is then.
TEST(RaceModel, DeadReckoningLandsNearTheNextPosition) {
  RaceModel model(shortRace());
  std::vector<HostVehicle> previous;
  double worst = 0.0;
  const double t = 18 * kStep;
  runScoring(model, [&](const HostScoring& s) {
    if (!previous.empty() && !model.finished()) {
      for (int i = 0; i < s.vehicleCount; ++i) {
        const HostVehicle& p = previous[static_cast<size_t>(i)];
        const double* r = p.orientation;
        double vx =
            r[0] * p.localVelocity[0] + r[1] * p.localVelocity[1] + r[2] * p.localVelocity[2];
        double ax = r[0] * p.localAcceleration[0] + r[1] * p.localAcceleration[1] +
                    r[2] * p.localAcceleration[2];
        double vz =
            r[6] * p.localVelocity[0] + r[7] * p.localVelocity[1] + r[8] * p.localVelocity[2];
        double az = r[6] * p.localAcceleration[0] + r[7] * p.localAcceleration[1] +
                    r[8] * p.localAcceleration[2];
        double x = p.position[0] + vx * t + 0.5 * ax * t * t;
        double z = p.position[2] + vz * t + 0.5 * az * t * t;
        double error = std::hypot(x - s.vehicles[i].position[0], z - s.vehicles[i].position[2]);
        worst = std::max(worst, error);
      }
    }
    previous.assign(s.vehicles, s.vehicles + s.vehicleCount);
  });
  // Cars cover 6 to 18 m in that time; constant-acceleration extrapolation
  // stays within a few decimetres of the curved path.
  EXPECT_LT(worst, 0.6);
  EXPECT_GT(worst, 0.0);
}

TEST(RaceModel, PlayerTelemetryMatchesItsScoringRecord) {
  RaceModel model(shortRace());
  for (int i = 0; i < 4000; ++i) model.step(kStep);
  const HostScoring& s = model.scoring(true);
  HostTelemetry t = model.telemetry(kStep);
  int players = 0;
  for (int i = 0; i < s.vehicleCount; ++i) {
    const HostVehicle& v = s.vehicles[i];
    if (!v.isPlayer) {
      EXPECT_NE(0, v.control);
      continue;
    }
    ++players;
    EXPECT_EQ(0, v.control);
    EXPECT_STREQ(v.vehicleName, t.vehicleName);
    EXPECT_EQ(v.lapsCompleted, t.lapNumber);
    EXPECT_EQ(0, std::memcmp(v.position, t.position, sizeof t.position));
    EXPECT_EQ(0, std::memcmp(v.localVelocity, t.localVelocity, sizeof t.localVelocity));
    EXPECT_EQ(model.cars()[static_cast<size_t>(i)].lapStart, double(t.lapStartTime));
    EXPECT_GT(double(t.lapStartTime), 0.0);
    if (v.currentSector1 > 0) {
      EXPECT_LE(t.lapStartTime + v.currentSector1, double(s.currentTime));
    }
  }
  EXPECT_EQ(1, players);
  EXPECT_EQ(kStep, double(t.deltaTime));
  EXPECT_GT(double(t.fuelLevel), 0.0);
}

TEST(RaceModel, PhasesStandingStartAndFinish) {
  RaceModel model(shortRace());
  EXPECT_EQ(kPhaseFormation, model.scoring(true).phase);
  while (model.time() < model.greenTime() - 0.5) model.step(kStep);
  const HostScoring& grid = model.scoring(true);
  EXPECT_EQ(kPhaseCountdown, grid.phase);
  for (int i = 0; i < grid.vehicleCount; ++i) {
    EXPECT_EQ(0.0, double(grid.vehicles[i].localVelocity[2]));
    EXPECT_LT(double(grid.vehicles[i].lapDistance), 0.0);
  }
  while (model.time() < model.greenTime() + 10) model.step(kStep);
  EXPECT_EQ(kPhaseGreen, model.scoring(true).phase);
  while (!model.finished()) model.step(kStep);
  const HostScoring& end = model.scoring(true);
  EXPECT_EQ(kPhaseOver, end.phase);
  int leaderLaps = 0;
  for (int i = 0; i < end.vehicleCount; ++i) {
    EXPECT_EQ(0.0, double(end.vehicles[i].localVelocity[2]));
    leaderLaps = std::max<int>(leaderLaps, end.vehicles[i].lapsCompleted);
  }
  EXPECT_EQ(4, leaderLaps);
}

TEST(RaceModel, TimedRaceLeaderFinishesItsLapTheOthersAtTheirNextLine) {
  RaceOptions o = shortRace(7);
  o.laps = 0;
  o.sessionLength = 75.0;
  RaceModel model(o);
  const Car* leader = nullptr;
  int leaderLaps = 0;
  runScoring(model, [&](const HostScoring& s) {
    if (leader == nullptr && model.chequered()) {
      for (int i = 0; i < s.vehicleCount; ++i) {
        if (s.vehicles[i].place == 1) leader = &model.cars()[static_cast<size_t>(i)];
      }
      leaderLaps = leader->laps;
    }
  });
  ASSERT_NE(leader, nullptr);
  EXPECT_EQ(leader->laps, leaderLaps + 1) << "the leader finishes the lap it was on";
  EXPECT_GE(leader->finishTime, model.timeUp());
  const HostScoring& end = model.scoring(true);
  EXPECT_EQ(kPhaseOver, end.phase);
  std::vector<const Car*> order(model.cars().size());
  for (int i = 0; i < end.vehicleCount; ++i) {
    const Car& car = model.cars()[static_cast<size_t>(i)];
    order[end.vehicles[i].place - 1u] = &car;
    EXPECT_GE(car.finishTime, leader->finishTime) << car.driver;
    // Its lap before the flag began before the leader finished.
    EXPECT_LT(car.finishTime - car.lastLap, leader->finishTime + 1e-9) << car.driver;
    EXPECT_EQ(0.0, double(end.vehicles[i].localVelocity[2]));
  }
  EXPECT_EQ(order[0], leader);
  for (size_t p = 1; p < order.size(); ++p) {
    const Car &ahead = *order[p - 1], &car = *order[p];
    EXPECT_TRUE(car.laps < ahead.laps ||
                (car.laps == ahead.laps && car.finishTime > ahead.finishTime))
        << "classified by laps, then by the time they finished";
    if (car.laps == ahead.laps) {
      EXPECT_NEAR(end.vehicles[&car - model.cars().data()].timeBehindNext,
                  car.finishTime - ahead.finishTime, 1e-9);
    }
  }
}

TEST(RaceModel, FuelBurnsWithDistanceAndPitStopsRefuel) {
  RaceOptions o = shortRace(11);
  o.laps = 8;
  RaceModel model(o);
  std::vector<double> fuel(static_cast<size_t>(o.cars), -1.0);
  int refuels = 0, pitRecords = 0;
  for (long i = 1; !model.finished(); ++i) {
    model.step(kStep);
    if (i % 18 != 0) continue;
    const HostScoring& s = model.scoring(true);
    for (int k = 0; k < s.vehicleCount; ++k) {
      const Car& car = model.cars()[static_cast<size_t>(k)];
      if (s.vehicles[k].inPits) ++pitRecords;
      double& before = fuel[static_cast<size_t>(k)];
      if (before >= 0 && car.fuel > before + 1e-9) {
        EXPECT_TRUE(s.vehicles[k].inPits) << "refuelled outside the pits";
        ++refuels;
      }
      before = car.fuel;
    }
  }
  EXPECT_GT(refuels, 0);
  EXPECT_GT(pitRecords, 0);
}

TEST(RaceModel, ManyCarsBeyondTheBlocksLimit) {
  RaceOptions o = shortRace();
  o.cars = 200;
  o.laps = 1;
  RaceModel model(o);
  std::set<std::string> drivers;
  for (const Car& car : model.cars()) drivers.insert(car.driver);
  EXPECT_EQ(200u, drivers.size());
  while (model.time() < 20) model.step(kStep);
  const HostScoring& s = model.scoring(true);
  EXPECT_EQ(200, s.vehicleCount);
  std::set<int> places;
  for (int i = 0; i < s.vehicleCount; ++i) places.insert(s.vehicles[i].place);
  EXPECT_EQ(200u, places.size());
}

TEST(RaceModel, SummaryBestsAreTheMinimaOfWhatWasDriven) {
  RaceModel model(shortRace());
  while (!model.finished()) {
    model.step(kStep);
    model.telemetry(kStep);
  }
  nlohmann::json summary = raceSummary(model);
  double fastest = 1e9;
  for (const auto& car : summary["cars"]) {
    auto laps = car["lapTimes"].get<std::vector<double>>();
    ASSERT_FALSE(laps.empty());
    double best = *std::min_element(laps.begin(), laps.end());
    EXPECT_EQ(best, car["bestLap"].get<double>());
    fastest = std::min(fastest, best);
    // The three sectors of a best lap add up to no less than the best lap
    // the sector bests came from.
    double sectors = 0;
    for (double s : car["bestSectors"].get<std::vector<double>>()) sectors += s;
    EXPECT_LE(sectors, best + 1e-9);
  }
  EXPECT_EQ(fastest, summary["fastestLap"]["time"].get<double>());
  EXPECT_GT(summary["player"]["distance"].get<double>(), 4 * 1200.0 * 0.5);
}

}  // namespace
}  // namespace korvanel::tools

// The race engineer against known truth: a seeded race of three classes
// with pit stops runs through the plugin in this process, the engineer
// reads copies of the block at a reader's poll rate, and what it works out
// is checked against the race model's own state. Two boundaries follow on
// made-up blocks: a new session, and the relative across the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/render_plugin.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"
#include "tools/engineer/engineer_json.h"
#include "tools/engineer/race_engineer.h"
#include "tools/race/race_model.h"
#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::engineer {
namespace {

static_assert(sizeof(SharedBlock) == sizeof(KorvanelSharedBlock), "the block is read whole");

using Clock = std::chrono::system_clock;

constexpr double kStep = 0.01;     // telemetry at 100 Hz; the fake tick moves 10 ms a step
constexpr int kScoringEvery = 20;  // scoring at 5 Hz
constexpr int kObserveEvery = 3;   // the reader polls at 33 Hz

// The player's time into the lap at each lap distance of one lap, as the
// model drove it.
struct Trace {
  std::vector<std::pair<double, double>> points;  // distance, time
  double timeAt(double d) const {
    auto it = std::lower_bound(points.begin(), points.end(), std::make_pair(d, -1e9));
    if (it == points.begin() || it == points.end()) return -1.0;
    auto before = it - 1;
    return before->second +
           (d - before->first) / (it->first - before->first) * (it->second - before->second);
  }
};

// Place of `car` among the cars of its class, by progress.
int classPlaceOf(const RaceModel& model, const Car& car) {
  double lap = model.track().length();
  auto progress = [&](const Car& c) { return c.laps + c.s / lap; };
  int place = 1;
  for (const Car& other : model.cars()) {
    if (other.classIndex == car.classIndex && progress(other) > progress(car)) ++place;
  }
  return place;
}

TEST(RaceEngineer, KnowsEveryCarsClassPlaceStopsStintsLapsAndThePlayersDeltaAndFuel) {
  testing::ScratchFolder folder;
  testing::FakeClock tick;
  PluginConfig config;
  PluginConfig::setInstanceForTesting(&config);

  RaceOptions options;
  options.cars = 20;
  options.classes = 3;
  options.trackLength = 2000.0;
  options.laps = 12;
  options.seed = 26;
  RaceModel model(options);
  const double lap = model.track().length();
  const Car& me = model.cars()[static_cast<size_t>(model.playerIndex())];
  const double burn = RaceModel::classTraits(me.classIndex).burnPerMetre;

  RaceEngineer engineer(RaceLength{options.laps, 0.0});
  RenderPlugin plugin;
  plugin.startup(0);
  plugin.startSession();
  plugin.enterRealtime();
  auto copy = std::make_unique<KorvanelSharedBlock>();

  // Truth kept along the way.
  std::vector<int> lapsAtStop(model.cars().size(), 0), stopsSeen(model.cars().size(), 0);
  std::vector<Trace> laps(1);  // the player's laps; the last one is under way
  double lapStart = -1.0;
  int deltaChecks = 0, fuelChecks = 0, carChecks = 0;
  double worstDelta = 0.0, largestTrueDelta = 0.0;
  double fuelToFinish = -1.0, distanceAtForecast = 0.0;
  int nextMark = 1;  // a quarter lap: checks at 1/4, 2/4 and 3/4 of each lap

  for (long i = 1; !model.finished(); ++i) {
    model.step(kStep);
    tick.advance(10);
    HostTelemetry t = model.telemetry(kStep);
    plugin.updateTelemetry(&t);
    bool scoring = i % kScoringEvery == 0;
    if (scoring) plugin.updateScoring(&model.scoring(true));

    for (size_t c = 0; c < model.cars().size(); ++c) {
      const Car& car = model.cars()[c];
      if (car.pitStopCount != stopsSeen[c]) {
        stopsSeen[c] = car.pitStopCount;
        lapsAtStop[c] = car.laps;
      }
    }
    if (me.lapStart != lapStart) {
      if (lapStart >= 0.0) laps.emplace_back();
      lapStart = me.lapStart;
      nextMark = 1;
    }
    if (lapStart >= 0.0) laps.back().points.emplace_back(me.s, model.time() - lapStart);

    if (i % kObserveEvery != 0 && !scoring) continue;
    std::memcpy(copy.get(), sharedBlock(), sizeof *copy);
    engineer.observe(*copy, Clock::now());
    auto view = engineer.view();

    // The player's delta where the player passes a quarter of the lap.
    if (nextMark <= 3 && me.s >= nextMark * lap / 4.0 && laps.size() >= 2) {
      ++nextMark;
      // The best lap the model drove so far, by its own times.
      size_t best = 0;
      for (size_t k = 1; k + 1 < laps.size(); ++k) {
        if (me.lapTimes[k] < me.lapTimes[best]) best = k;
      }
      double truth = (model.time() - lapStart) - laps[best].timeAt(me.s);
      ASSERT_TRUE(view->delta.toBest.has_value()) << "lap " << me.laps;
      EXPECT_NEAR(view->delta.bestLap, me.lapTimes[best], 1e-6);
      EXPECT_NEAR(view->delta.lastLap, me.lastLap, 1e-6);
      worstDelta = std::max(worstDelta, std::fabs(*view->delta.toBest - truth));
      largestTrueDelta = std::max(largestTrueDelta, std::fabs(truth));
      double truthToLast = (model.time() - lapStart) - laps[laps.size() - 2].timeAt(me.s);
      ASSERT_TRUE(view->delta.toLast.has_value());
      EXPECT_NEAR(*view->delta.toLast, truthToLast, 0.03);
      ++deltaChecks;
    }

    if (!scoring) continue;
    // Every car against the model, at every scoring update.
    std::map<std::string, const Car*> byDriver;
    for (const Car& car : model.cars()) byDriver[car.driver] = &car;
    ASSERT_EQ(view->classStandings.size(), model.cars().size());
    ASSERT_EQ(view->history.size(), model.cars().size());
    for (size_t k = 0; k < view->history.size(); ++k) {
      const CarHistory& h = view->history[k];
      const Car& car = *byDriver.at(h.driverName);
      size_t c = static_cast<size_t>(&car - model.cars().data());
      const ClassStanding& standing = view->classStandings[k];
      EXPECT_EQ(standing.classPlace, classPlaceOf(model, car)) << car.driver;
      const Car* classLeader = nullptr;
      for (const Car& other : model.cars()) {
        if (other.classIndex == car.classIndex && classPlaceOf(model, other) == 1) {
          classLeader = &other;
        }
      }
      EXPECT_NEAR(standing.gapToClassLeader, car.timeBehindLeader - classLeader->timeBehindLeader,
                  1e-6)
          << car.driver;
      EXPECT_EQ(standing.vehicleClass, RaceModel::classTraits(car.classIndex).name);
      EXPECT_EQ(h.pit.stops, car.pitStopCount) << car.driver;
      EXPECT_EQ(h.pit.stintLaps, h.pit.inPits ? 0 : car.laps - lapsAtStop[c]) << car.driver;
      if (car.laps > 0) {
        EXPECT_EQ(h.lastLap.lap, car.laps);
        EXPECT_DOUBLE_EQ(h.lastLap.time, car.lastLap) << car.driver;
        EXPECT_DOUBLE_EQ(h.lastLap.sectors[0], car.last1);
        EXPECT_NEAR(h.lastLap.sectors[1], car.last2 - car.last1, 1e-9);
        EXPECT_NEAR(h.lastLap.sectors[2], car.lastLap - car.last2, 1e-9);
      }
      ++carChecks;
    }

    // Fuel: the use per lap is the class's burn over a lap; the forecast to
    // the finish, taken once the leader is halfway, is checked at the end.
    const Fuel& fuel = view->fuel;
    if (fuel.perLap) {
      EXPECT_NEAR(*fuel.perLap, burn * lap, 0.02 * burn * lap);
      ++fuelChecks;
    }
    int leaderLaps = 0;
    for (const Car& car : model.cars()) leaderLaps = std::max(leaderLaps, car.laps);
    if (fuelToFinish < 0.0 && leaderLaps >= options.laps / 2 && fuel.toFinish) {
      fuelToFinish = *fuel.toFinish;
      distanceAtForecast = model.playerDistance();
      EXPECT_NEAR(fuel.toAdd.value(), std::max(0.0, fuelToFinish - me.fuel), 0.01);
    }
  }

  // The model's own use from the forecast to the flag.
  double used = (model.playerDistance() - distanceAtForecast) * burn;
  ASSERT_GT(fuelToFinish, 0.0);
  EXPECT_NEAR(fuelToFinish, used, burn * lap) << "fuel to the finish, one lap's fuel apart";
  EXPECT_GT(deltaChecks, 3 * (options.laps - 4));
  EXPECT_LT(worstDelta, 0.03) << "delta to the best lap against the model";
  EXPECT_GT(largestTrueDelta, 0.1) << "the laps differ enough for the delta to tell";
  EXPECT_GT(fuelChecks, 100);
  EXPECT_GT(carChecks, 20 * 100);
  int stops = 0;
  for (const Car& car : model.cars()) stops += car.pitStopCount;
  EXPECT_GE(stops, 10) << "a race with pit stops";

  // The document's parts carry the view's figures.
  auto view = engineer.view();
  nlohmann::json doc = engineerJson(*view, kPartAll);
  for (const char* key : {"engineer", "classes", "classStandings", "sessionBests", "history",
                          "relative", "delta", "fuel"}) {
    EXPECT_TRUE(doc.contains(key)) << key;
  }
  EXPECT_EQ(doc["classes"].size(), 3u);
  EXPECT_EQ(doc["engineer"]["raceLength"]["laps"], options.laps);
  EXPECT_EQ(doc["history"][0]["pit"]["stops"], view->history[0].pit.stops);
  EXPECT_TRUE(engineerJson(*view, kPartSession | kPartStandings).empty());

  plugin.exitRealtime();
  plugin.endSession();
  plugin.shutdown();
  PluginConfig::setInstanceForTesting(nullptr);
}

// A made-up block of one scoring update: the cars in race order, all at
// `speed` m/s, the player among them.
struct CarSpec {
  const char* driver;
  int laps;
  double distance;  // m into the lap
  double lastLap = -1.0;
};

std::unique_ptr<KorvanelSharedBlock> blockOf(int32_t session, const char* track, double clock,
                                             const std::vector<CarSpec>& cars, int player,
                                             double lapLength = 1000.0, double speed = 50.0) {
  auto block = std::make_unique<KorvanelSharedBlock>();
  std::memset(block.get(), 0, sizeof *block);
  KorvanelScoringInfoV2& s = block->scoring;
  std::snprintf(s.trackName, sizeof s.trackName, "%s", track);
  s.session = session;
  s.currentTime = clock;
  s.lapLength = lapLength;
  s.phase = 5;
  s.vehicleCount = static_cast<int32_t>(cars.size());
  s.playerIndex = player;
  for (size_t i = 0; i < cars.size(); ++i) {
    KorvanelVehicleInfoV2& v = s.vehicles[i];
    std::snprintf(v.host.driverName, sizeof v.host.driverName, "%s", cars[i].driver);
    std::snprintf(v.host.vehicleName, sizeof v.host.vehicleName, "%s car", cars[i].driver);
    std::snprintf(v.host.vehicleClass, sizeof v.host.vehicleClass, "GT3");
    v.host.lapsCompleted = static_cast<int16_t>(cars[i].laps);
    v.host.lapDistance = cars[i].distance;
    v.host.lastLapTime = cars[i].lastLap;
    v.host.lastSector1 = v.host.lastSector2 = v.host.bestLapTime = -1.0;
    v.host.bestSector1 = v.host.bestSector2 = -1.0;
    v.host.place = static_cast<uint8_t>(i + 1);
    v.host.localVelocity[2] = speed;
    v.host.isPlayer = static_cast<int>(i) == player ? 1 : 0;
    v.lapProgress = static_cast<float>(cars[i].laps + cars[i].distance / lapLength);
  }
  return block;
}

TEST(RaceEngineer, ANewSessionStartsTheHistoryOverAndNothingElseDoes) {
  const Clock::time_point start = Clock::now() - std::chrono::hours(1);
  RaceEngineer engineer;
  const auto since = engineer.view()->since;
  std::vector<CarSpec> cars = {{"Ann", 3, 100.0, 61.5}, {"Bob", 3, 50.0, 62.0}};
  engineer.observe(*blockOf(10, "Ring", 100.0, cars, 0), start);
  cars[0] = {"Ann", 4, 10.0, 60.25};
  // The same update again, and another reader's poll of it: one lap each.
  for (int k = 0; k < 3; ++k) engineer.observe(*blockOf(10, "Ring", 101.0, cars, 0), start);
  auto before = engineer.view();
  EXPECT_EQ(before->since, since) << "the history began at construction";
  ASSERT_EQ(before->history[0].laps.size(), 1u);
  EXPECT_EQ(before->history[0].lastLap.time, 60.25);
  EXPECT_EQ(before->history[0].lastLap.marks[kSectors], TimeMark::kSession);

  struct NewSession {
    int32_t session;
    const char* track;
    double clock;
  };
  const NewSession triggers[] = {
      {11, "Ring", 102.0}, {11, "Other Ring", 103.0}, {11, "Other Ring", 5.0}};
  Clock::time_point when = start;
  for (const NewSession& n : triggers) {
    when += std::chrono::seconds(10);
    cars[0] = {"Ann", 5, 10.0, 59.0};
    engineer.observe(*blockOf(n.session, n.track, n.clock, cars, 0), when);
    cars[0] = {"Ann", 6, 10.0, 58.0};
    engineer.observe(*blockOf(n.session, n.track, n.clock + 1.0, cars, 0), when);
    auto after = engineer.view();
    EXPECT_EQ(after->since, when) << n.track << " " << n.clock;
    ASSERT_EQ(after->history.size(), 2u);
    ASSERT_EQ(after->history[0].laps.size(), 1u) << "one lap since the new session began";
    EXPECT_EQ(after->history[0].laps[0].time, 58.0);
    EXPECT_EQ(after->history[0].bestLap, 58.0);
  }
  // The view handed out before stays as it was.
  EXPECT_EQ(before->history[0].lastLap.time, 60.25);
}

TEST(RaceEngineer, RelativeAcrossTheLineMarksLappingAndLappedCarsWithGapsFromPassTimes) {
  // One second apart at 50 m/s on a 1000 m lap; the player has just
  // crossed the line. Race order: Cid leads a lap up, then the player.
  std::vector<CarSpec> now = {{"Cid", 5, 990.0}, {"Player", 5, 20.0}, {"Bea", 4, 980.0},
                              {"Fay", 4, 600.0}, {"Eve", 4, 500.0},   {"Dan", 4, 50.0}};
  std::vector<CarSpec> before = now;
  for (CarSpec& c : before) {
    c.distance -= 50.0;
    if (c.distance < 0.0) {
      c.distance += 1000.0;
      --c.laps;
    }
  }
  RaceEngineer engineer;
  engineer.setRelativeCars(2);
  engineer.observe(*blockOf(10, "Ring", 40.0, before, 1), Clock::now());
  engineer.observe(*blockOf(10, "Ring", 41.0, now, 1), Clock::now());
  auto view = engineer.view();
  struct Expected {
    const char* driver;
    double gap;
    int laps;
    RelativeMark mark;
  };
  // Eve's pass of the player's point came before the history: distance
  // over speed stands in. The others' gaps come from when they passed.
  const Expected expected[] = {{"Eve", -9.6, -1, RelativeMark::kLapped},
                               {"Dan", -0.6, -1, RelativeMark::kLapped},
                               {"Player", 0.0, 0, RelativeMark::kPlayer},
                               {"Cid", 0.6, 1, RelativeMark::kLapping},
                               {"Bea", 0.8, 0, RelativeMark::kSame}};
  ASSERT_EQ(view->relative.size(), 5u);
  for (size_t k = 0; k < 5; ++k) {
    const RelativeCar& r = view->relative[k];
    EXPECT_EQ(r.driverName, expected[k].driver);
    EXPECT_NEAR(r.gap, expected[k].gap, 1e-6) << r.driverName;
    EXPECT_EQ(r.lapDifference, expected[k].laps) << r.driverName;
    EXPECT_EQ(r.mark, expected[k].mark) << r.driverName;
  }
  nlohmann::json doc = engineerJson(*view, kPartRelative);
  EXPECT_EQ(doc["relative"]["cars"][1]["mark"], "lapped");
  EXPECT_FALSE(doc.contains("history"));
}

}  // namespace
}  // namespace korvanel::tools::engineer

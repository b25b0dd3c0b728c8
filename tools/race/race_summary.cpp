// The race model's own account of the race. Best times are the minimum over
// every lap and sector a car completed; sector slots follow the host's
// sector codes (0 third, 1 first, 2 second).
#include "tools/race/race_summary.h"

#include <algorithm>

namespace korvanel::tools {

nlohmann::json raceSummary(const RaceModel& model) {
  using nlohmann::json;
  json cars = json::array();
  json fastest = {{"time", -1.0}, {"driver", ""}};
  json sectors = json::array();
  for (int slot = 0; slot < 3; ++slot) sectors.push_back({{"time", -1.0}, {"driver", ""}});
  const auto& all = model.cars();
  for (size_t i = 0; i < all.size(); ++i) {
    const Car& car = all[i];
    double minLap =
        car.lapTimes.empty() ? -1.0 : *std::min_element(car.lapTimes.begin(), car.lapTimes.end());
    json entry = {
        {"index", i},
        {"driver", car.driver},
        {"vehicle", car.vehicle},
        {"class", RaceModel::classTraits(car.classIndex).name},
        {"isPlayer", car.player},
        {"place", car.place},
        {"laps", car.laps},
        {"lapTimes", car.lapTimes},
        {"bestLap", minLap},
        {"bestSectors", {car.sectors.best[0], car.sectors.best[1], car.sectors.best[2]}},
        {"sampledTopSpeed", car.sampledTopSpeed},
        {"pitStops", car.pitStopCount},
        {"fuel", car.fuel},
        {"burnPerMetre", RaceModel::classTraits(car.classIndex).burnPerMetre},
    };
    cars.push_back(entry);
    // Ties go to the car earlier in the host's array, as the plugin does.
    if (minLap > 0 &&
        (fastest["time"].get<double>() < 0 || minLap < fastest["time"].get<double>())) {
      fastest = {{"time", minLap}, {"driver", car.driver}};
    }
    for (int slot = 0; slot < 3; ++slot) {
      double t = car.sectors.best[slot];
      double held = sectors[slot]["time"].get<double>();
      if (t > 0 && (held < 0 || static_cast<float>(t) < static_cast<float>(held))) {
        sectors[slot] = {{"time", t}, {"driver", car.driver}};
      }
    }
  }
  const Car& player = all[static_cast<size_t>(model.playerIndex())];
  return {
      {"trackName", model.options().trackName},
      {"trackLength", model.track().length()},
      {"session", model.options().session},
      {"seed", model.options().seed},
      {"sessionTime", model.time()},
      {"cars", cars},
      {"playerIndex", model.playerIndex()},
      {"player",
       {{"driver", player.driver},
        {"vehicle", player.vehicle},
        {"distance", model.playerDistance()},
        {"fuel", player.fuel},
        {"laps", player.laps}}},
      {"fastestLap", fastest},
      {"sectorRecords", sectors},
  };
}

}  // namespace korvanel::tools

// Checks a monitor snapshot (JSON) against what the race model says
// happened. Checks that depend on parts of the plugin that publish nothing
// yet are skipped with a message saying so, and start checking once those
// parts publish. Exit code 0 when nothing failed.
//
//   tools_snapshot_check race MODEL SNAPSHOT
//   tools_snapshot_check class-row ROW MODEL SNAPSHOT   (rows 0 and 2 of the sample file)
//   tools_snapshot_check odometer-reset MODEL SNAPSHOT
//   tools_snapshot_check km MODEL KMFILE SNAPSHOT
//   tools_snapshot_check many MODEL SNAPSHOT   (more cars than the block holds)
//   tools_snapshot_check same SNAPSHOT SNAPSHOT
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;

int failures = 0;
bool quiet = false;

void fail(const std::string& what) {
  ++failures;
  std::printf("FAIL: %s\n", what.c_str());
}
void skip(const std::string& what) { std::printf("SKIP: %s\n", what.c_str()); }
void pass(const std::string& what) {
  if (!quiet) std::printf("ok: %s\n", what.c_str());
}

json load(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  return json::parse(in);
}

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }
// The plugin keeps times as floats: compare with the model's narrowed value.
bool sameFloat(double published, double model) {
  return near(published, static_cast<float>(model), 1e-5 * std::max(1.0, std::fabs(model)));
}

std::string str(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", v);
  return text;
}

const json* carByDriver(const json& model, const std::string& driver) {
  for (const json& car : model["cars"]) {
    if (car["driver"] == driver) return &car;
  }
  return nullptr;
}

const json& playerCar(const json& model) {
  return model["cars"][model["playerIndex"].get<size_t>()];
}

void checkPlaces(const json& model, const json& snap) {
  const json& vehicles = snap["vehicles"];
  if (vehicles.size() != model["cars"].size()) {
    return fail("the block lists " + std::to_string(vehicles.size()) + " cars, the race had " +
                std::to_string(model["cars"].size()));
  }
  int bad = 0;
  for (size_t i = 0; i < vehicles.size(); ++i) {
    const json& v = vehicles[i];
    const json* car = carByDriver(model, v["driverName"]);
    if (v["place"] != i + 1 || car == nullptr || (*car)["place"] != v["place"] ||
        (*car)["laps"] != v["lapsCompleted"]) {
      if (++bad < 4)
        fail("entry " + std::to_string(i) + " (" + v["driverName"].get<std::string>() +
             ") is out of race order or has other laps than the race");
    }
  }
  if (bad == 0) pass("entries in race order with the race's places and laps");

  const json& player = playerCar(model);
  int index = snap["scoring"]["playerIndex"];
  if (index < 0 || index >= static_cast<int>(vehicles.size()) ||
      vehicles[index]["driverName"] != player["driver"] || vehicles[index]["isPlayer"] != 1) {
    fail("the player's index does not point at the player's car");
  } else if (snap["state"]["playerPlace"] != player["place"] ||
             snap["state"]["playerIndex"] != index) {
    fail("the state record's player place or index differ from the scoring block");
  } else {
    pass("player found at place " + std::to_string(player["place"].get<int>()));
  }
}

void checkClassRow(const json& model, const json& snap, int row) {
  const json& vehicles = snap["vehicles"];
  bool any = false;
  for (const json& v : vehicles) any = any || v["classPosition"] != 0;
  if (!any) return skip("class grouping publishes no class positions yet");
  if (snap["state"]["selectedClassRow"] != row) {
    return fail("selected class row is " + snap["state"]["selectedClassRow"].dump() + ", not " +
                std::to_string(row));
  }
  std::string playerClass = playerCar(model)["class"];
  int next = 1, bad = 0, playerPosition = -1;
  for (const json& v : vehicles) {
    bool member = row == 0 || v["vehicleClass"] == playerClass;
    int expected = row == 0 ? v["place"].get<int>() : member ? next++ : 0;
    if (v["inClassGroup"] != (member ? 1 : 0) || v["classPosition"] != expected) {
      if (++bad < 4)
        fail(v["driverName"].get<std::string>() + " has class position " +
             v["classPosition"].dump() + ", expected " + std::to_string(expected));
    }
    if (v["isPlayer"] == 1) playerPosition = expected;
  }
  if (snap["scoring"]["playerClassPosition"] != playerPosition) {
    fail("player class position " + snap["scoring"]["playerClassPosition"].dump() + ", expected " +
         std::to_string(playerPosition));
  } else if (bad == 0) {
    pass("class positions of row " + std::to_string(row));
  }
}

void checkClassGaps(const json& snap) {
  const json& vehicles = snap["vehicles"];
  bool any = false;
  for (const json& v : vehicles) any = any || v["timeBehindClassLeader"] != 0.0;
  if (!any) return skip("gap computation publishes no class gaps yet");
  int bad = 0;
  for (size_t i = 1; i < vehicles.size(); ++i) {
    const json& v = vehicles[i];
    double ahead = v["timeBehindNext"], leader = v["timeBehindLeader"];
    if (!near(v["timeBehindClassAhead"], ahead, 1e-4 * std::max(1.0, ahead)) ||
        !near(v["timeBehindClassLeader"], leader, 1e-3 * std::max(1.0, leader))) {
      if (++bad < 4) fail("class gaps of " + v["driverName"].get<std::string>());
    }
  }
  if (bad == 0) pass("class gaps add up to the host's intervals");
}

void checkTiming(const json& model, const json& snap) {
  const json& table = snap["timeTable"];
  if (table["entries"].empty()) return skip("the timing table has no entries yet");
  int bad = 0;
  for (const json& car : model["cars"]) {
    const json* entry = nullptr;
    for (const json& e : table["entries"]) {
      if (e["driverName"] == car["driver"] && e["vehicleName"] == car["vehicle"]) entry = &e;
    }
    double best = car["bestLap"];
    if (entry == nullptr || !sameFloat((*entry)["bestLapTime"], best)) {
      if (++bad < 4)
        fail("best lap of " + car["driver"].get<std::string>() + ": " +
             (entry ? (*entry)["bestLapTime"].dump() : "no entry") + ", drove " + str(best));
    }
  }
  if (bad == 0) pass("every driver's best lap is the fastest lap driven");
  const json& fastest = model["fastestLap"];
  if (!sameFloat(table["fastestLap"]["time"], fastest["time"]) ||
      table["fastestLap"]["driver"] != fastest["driver"]) {
    fail("fastest lap " + table["fastestLap"].dump() + ", drove " + fastest.dump());
  } else {
    pass("fastest lap " + str(fastest["time"]) + " by " + fastest["driver"].get<std::string>());
  }
  double playerBest = playerCar(model)["bestLap"];
  if (!sameFloat(table["playerBestLap"]["time"], playerBest)) {
    fail("player's best lap " + table["playerBestLap"]["time"].dump() + ", drove " +
         str(playerBest));
  } else {
    pass("player's best lap");
  }
}

void checkTopSpeeds(const json& model, const json& snap) {
  bool any = false;
  for (const json& v : snap["vehicles"]) any = any || v["topSpeed"] != 0.0;
  if (!any) return skip("no top speeds in the scoring block yet");
  int bad = 0;
  for (const json& v : snap["vehicles"]) {
    const json* car = carByDriver(model, v["driverName"]);
    if (car == nullptr || !sameFloat(v["topSpeed"], (*car)["sampledTopSpeed"])) {
      if (++bad < 4) fail("top speed of " + v["driverName"].get<std::string>());
    }
  }
  if (bad == 0) pass("top speeds are the highest speeds of the scoring records");
}

void checkSectors(const json& model, const json& snap) {
  const json& slots = snap["sectorRecords"]["slots"];
  bool any = false;
  for (const json& s : slots) any = any || s["time"] != -1.0;
  if (!any) return skip("the sector records hold no times yet");
  const json& player = playerCar(model);
  for (int slot = 0; slot < 3; ++slot) {
    const json& record = model["sectorRecords"][slot];
    const json& got = slots[slot];
    if (!sameFloat(got["time"], record["time"]) || got["holder"] != record["driver"]) {
      fail("sector slot " + std::to_string(slot) + ": " + got.dump() + ", drove " + record.dump());
    } else if (!sameFloat(got["playerTime"], player["bestSectors"][slot])) {
      fail("player's sector slot " + std::to_string(slot));
    } else {
      pass("sector slot " + std::to_string(slot) + " record " + str(record["time"]) + " by " +
           record["driver"].get<std::string>());
    }
  }
}

bool odometerPublishes(const json& snap) { return snap["state"]["vehicleTrackDistance"] != 0.0; }

void checkOdometer(const json& model, const json& snap) {
  if (!odometerPublishes(snap)) return skip("the odometer publishes no totals yet");
  double driven = model["player"]["distance"];
  const json& s = snap["state"];
  if (!near(s["vehicleDistance"], driven, 1e-9 * driven) ||
      !near(s["vehicleTrackDistance"], driven, 1e-9 * driven)) {
    fail("odometer " + s["vehicleDistance"].dump() + " / " + s["vehicleTrackDistance"].dump() +
         ", drove " + str(driven));
  } else {
    pass("odometer equals the distance driven, " + str(driven) + " m");
  }
}

void checkTelemetry(const json& model, const json& snap) {
  const json& t = snap["telemetry"];
  const json& player = model["player"];
  if (t["vehicleName"] != player["vehicle"] || t["lapNumber"] != player["laps"] ||
      !near(t["fuelLevel"], player["fuel"], 1e-9)) {
    fail("telemetry of the player's car differs from the race");
  } else {
    pass("telemetry block holds the player's car");
  }
  if (t["distancePerFuel"] == 0.0) return skip("the pace estimator publishes no figures yet");
  double burn = playerCar(model)["burnPerMetre"], lap = model["trackLength"];
  if (!near(t["distancePerFuel"], 1.0 / burn, 0.005 / burn) ||
      !near(t["fuelPerLap"], burn * lap, 0.005 * burn * lap)) {
    fail("pace figures " + t["distancePerFuel"].dump() + " m per unit, " + t["fuelPerLap"].dump() +
         " per lap; the car burns " + str(1.0 / burn) + " m per unit");
  } else {
    pass("distance per fuel and fuel per lap match the car's consumption");
  }
}

void checkTeamMarks(const json& snap) {
  std::set<std::string> marked;
  for (const json& v : snap["vehicles"]) {
    if (v["teamMember"] == 1) marked.insert(v["driverName"]);
  }
  if (marked.empty()) return skip("no team marks published yet");
  if (marked != std::set<std::string>{"Jane Doe", "John Smith"}) {
    fail("team marks on the wrong drivers");
  } else {
    pass("team marks on the configured team members");
  }
}

// A field larger than the block: the header keeps the host's count, the
// block lists the 150 it holds in race order, the timing table at most 150.
void checkMany(const json& model, const json& snap) {
  size_t cars = model["cars"].size();
  const json& vehicles = snap["vehicles"];
  if (snap["session"]["vehicleCount"] != cars || vehicles.size() != 150) {
    return fail("with " + std::to_string(cars) + " cars the block counts " +
                snap["session"]["vehicleCount"].dump() + " and lists " +
                std::to_string(vehicles.size()));
  }
  for (size_t i = 1; i < vehicles.size(); ++i) {
    if (vehicles[i]["place"].get<int>() <= vehicles[i - 1]["place"].get<int>()) {
      return fail("entries out of race order at " + std::to_string(i));
    }
  }
  if (snap["timeTable"]["entries"].size() > 150) return fail("more than 150 timing entries");
  pass(std::to_string(cars) + " cars: the block lists 150 in race order");
}

// Equal apart from what depends on the wall clock of the run.
void compareSame(const json& a, const json& b, const std::string& path, int& differences) {
  static const std::set<std::string> wallClock = {
      "updateCount",      "timeStamp",         "sequence",      "whole",
      "estimatedLapTime", "estimatedPosition", "earlyTimesSeen"};
  if (a.is_object() && b.is_object()) {
    for (auto it = a.begin(); it != a.end(); ++it) {
      if (wallClock.count(it.key())) continue;
      if (!b.contains(it.key())) {
        if (++differences < 10) fail(path + "/" + it.key() + " missing in the second");
        continue;
      }
      compareSame(it.value(), b[it.key()], path + "/" + it.key(), differences);
    }
  } else if (a.is_array() && b.is_array() && a.size() == b.size()) {
    for (size_t i = 0; i < a.size(); ++i) {
      compareSame(a[i], b[i], path + "/" + std::to_string(i), differences);
    }
  } else if (a != b) {
    if (++differences < 10) fail(path + ": " + a.dump() + " against " + b.dump());
  }
}

void checkKmFile(const json& model, const std::string& path, const json& snap) {
  if (!odometerPublishes(snap)) return skip("the odometer publishes no totals yet");
  std::ifstream in(path);
  if (!in) return fail("no odometer file " + path);
  std::map<std::string, std::string> values;
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 1 && line[0] == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (line.find('=') != std::string::npos) {
      values[section + "/" + line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
  }
  std::string vehicle = model["player"]["vehicle"], track = model["trackName"];
  for (char& c : vehicle) c = c == ' ' ? '_' : c;
  for (char& c : track) c = c == ' ' ? '_' : c;
  double driven = model["player"]["distance"];
  auto vehicleValue = values.find("KM/" + vehicle);
  auto trackValue = values.find("KM_TRACKS/" + vehicle + "[" + track + "]");
  if (vehicleValue == values.end() || trackValue == values.end()) {
    return fail("the odometer file lacks the keys of " + vehicle + " on " + track);
  }
  // The vehicle total was reset by the monitor, the track total was not.
  if (vehicleValue->second != "0.000000" ||
      !near(std::stod(trackValue->second), static_cast<float>(driven), 1e-6 * driven + 1e-6)) {
    fail("odometer file holds " + vehicleValue->second + " and " + trackValue->second +
         " after driving " + str(driven) + " and resetting the vehicle total");
  } else {
    pass("odometer file written: vehicle total reset, track total " + trackValue->second);
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: tools_snapshot_check race MODEL SNAPSHOT | class-row ROW MODEL SNAPSHOT |\n"
               "       odometer-reset MODEL SNAPSHOT | km MODEL KMFILE SNAPSHOT |\n"
               "       many MODEL SNAPSHOT | same A B\n"
               "       (--quiet first to print failures and skips only)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 1 && std::string(argv[1]) == "--quiet") {
    quiet = true;
    ++first;
  }
  if (argc - first < 3) return usage();
  std::string mode = argv[first];
  try {
    if (mode == "race" && argc - first == 3) {
      json model = load(argv[first + 1]), snap = load(argv[first + 2]);
      checkPlaces(model, snap);
      checkClassRow(model, snap, 0);
      checkClassGaps(snap);
      checkTeamMarks(snap);
      checkTiming(model, snap);
      checkTopSpeeds(model, snap);
      checkSectors(model, snap);
      checkOdometer(model, snap);
      checkTelemetry(model, snap);
    } else if (mode == "class-row" && argc - first == 4) {
      checkClassRow(load(argv[first + 2]), load(argv[first + 3]), std::stoi(argv[first + 1]));
    } else if (mode == "odometer-reset" && argc - first == 3) {
      json model = load(argv[first + 1]), snap = load(argv[first + 2]);
      if (!odometerPublishes(snap)) {
        skip("the odometer publishes no totals yet");
      } else if (snap["state"]["vehicleDistance"] != 0.0 ||
                 snap["state"]["distanceResetCommand"] != 0 ||
                 !near(snap["state"]["vehicleTrackDistance"], model["player"]["distance"], 1e-6)) {
        fail("after the reset command: " + snap["state"].dump());
      } else {
        pass("vehicle total reset, track total kept, command byte cleared");
      }
    } else if (mode == "km" && argc - first == 4) {
      checkKmFile(load(argv[first + 1]), argv[first + 2], load(argv[first + 3]));
    } else if (mode == "many" && argc - first == 3) {
      checkMany(load(argv[first + 1]), load(argv[first + 2]));
    } else if (mode == "same" && argc - first == 3) {
      int differences = 0;
      compareSame(load(argv[first + 1]), load(argv[first + 2]), "", differences);
      if (differences == 0) pass("the two snapshots agree");
    } else {
      return usage();
    }
  } catch (const std::exception& e) {
    fail(std::string("cannot check: ") + e.what());
  }
  return failures == 0 ? 0 : 1;
}

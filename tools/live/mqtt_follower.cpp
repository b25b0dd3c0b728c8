// Messages arrive on libmosquitto's thread; the server's thread asks for
// frames. Both meet under one mutex that guards only bookkeeping: a frame
// merges its parts when a client first asks for it, outside the lock.
#include "tools/live/mqtt_follower.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "tools/live/mqtt_connection.h"
#include "tools/live/mqtt_deflate.h"
#include "tools/live/mqtt_topics.h"

namespace korvanel::tools::live {
namespace {

using nlohmann::json;

// A car whose publishing data pause this long has a gap in its record
// (an idle or stopped car publishes nothing and has none).
constexpr double kGapSeconds = 1.5;
constexpr size_t kLatencySamples = 4096;
// Whoever may publish under the prefix could name endless cars; past this
// many, new names are ignored.
constexpr size_t kCarLimit = 256;
constexpr double kRateWindowSeconds = 5.0;
// Far above a part at the block's largest (150 cars: about 170 kB).
constexpr size_t kInflatedLimit = 16 * 1024 * 1024;
constexpr const char* kEnvelope[] = {"schemaVersion", "schemaRevision", "status",   "layout",
                                     "layoutStamp",   "whole",          "sequence", "updateCount",
                                     "timeStamp",     "problem"};

// Milliseconds since 1970 of "2026-01-31T12:00:00.000Z"; -1 if it is not one.
double epochMilliseconds(const std::string& text) {
  int y, mo, d, h, mi, s, ms;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &y, &mo, &d, &h, &mi, &s, &ms) !=
      7) {
    return -1;
  }
  // Days from the civil date, the inverse of utcTimeStamp's conversion.
  y -= mo <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  double days = static_cast<double>(era * 146097 + doe - 719468);
  return ((days * 24 + h) * 60 + mi) * 60000.0 + s * 1000.0 + ms;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  size_t k = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  std::nth_element(values.begin(), values.begin() + k, values.end());
  return values[k];
}

bool hasPicture(const json& part) {
  return part.contains("state") || part.contains("scoring") || part.contains("timeTable") ||
         part.contains("engineer");
}

// What `engineer` ({"laps", "minutes"} or null) says, as the engineer takes it.
engineer::RaceLength raceLengthOf(const json& engineer) {
  engineer::RaceLength length;
  if (!engineer.is_object()) return length;
  length.laps = engineer.value("laps", 0);
  length.minutes = engineer.value("minutes", 0.0);
  return length;
}

json raceLengthJson(const engineer::RaceLength& length) {
  if (!length.known()) return nullptr;
  return length.laps > 0 ? json{{"laps", length.laps}} : json{{"minutes", length.minutes}};
}

}  // namespace

MqttFollower::MqttFollower(MqttUrl url, const MqttSettings& settings)
    : url_(std::move(url)), settings_(settings) {
  waiting_ = std::make_shared<const Frame>(nextId_++, "waiting", false, [](unsigned) {
    return json{{"schemaVersion", kSnapshotSchemaVersion},
                {"status", "waiting"},
                {"whole", false},
                {"timeStamp", utcTimeStamp(std::chrono::system_clock::now())}};
  });
}

MqttFollower::~MqttFollower() { stop(); }

bool MqttFollower::start(std::string& error) {
  MqttConnection::Callbacks callbacks;
  callbacks.connected = [this] { connection_->subscribe(url_.prefix + "/+/+", 0); };
  callbacks.lost = [this] {
    std::lock_guard<std::mutex> hold(mutex_);
    ++brokerLosses_;
  };
  callbacks.message = [this](const std::string& topic, const std::string& payload, bool retained) {
    receive(topic, payload, retained);
  };
  connection_ = std::make_unique<MqttConnection>(url_, settings_.caFile, settings_.keepAlive,
                                                 "follow", MqttConnection::Will{}, callbacks);
  return connection_->start(error);
}

void MqttFollower::stop() {
  if (connection_) connection_->stop();
}

void MqttFollower::receive(const std::string& topic, const std::string& payload, bool retained) {
  std::string levels = topic.substr(std::min(topic.size(), url_.prefix.size() + 1));
  size_t slash = levels.find('/');
  if (topic.compare(0, url_.prefix.size() + 1, url_.prefix + "/") != 0 ||
      slash == std::string::npos) {
    return;
  }
  std::string name = levels.substr(0, slash), level = levels.substr(slash + 1);
  int part = -1;
  for (size_t i = 0; i < kMqttParts.size(); ++i) {
    if (level == kMqttParts[i].name) part = static_cast<int>(i);
  }
  if (part < 0 && level != kMqttStatusLevel) return;         // commands and the like
  if (name.size() > 64 || topicLevel(name) != name) return;  // not a korvanel-live's car
  std::string inflated;
  if (isDeflated(payload) && !inflateText(payload, inflated, kInflatedLimit)) return;
  auto document =
      std::make_shared<json>(json::parse(inflated.empty() ? payload : inflated, nullptr, false));
  if (!document->is_object()) return;
  auto wall = std::chrono::system_clock::now();
  auto now = Clock::now();

  std::lock_guard<std::mutex> hold(mutex_);
  if (cars_.size() >= kCarLimit && !cars_.count(name)) return;
  Car& car = cars_[name];
  car.name = name;
  if (part < 0) {
    car.online = document->value("online", false);
    return remake(car);
  }
  if (!retained && car.messages > 0 && car.status == "publishing") {
    double silent = std::chrono::duration<double>(now - car.lastReceived).count();
    if (silent > kGapSeconds) {
      ++car.gaps;
      car.lastGapSeconds = silent;
    }
  }
  if (!retained) {
    double sent = epochMilliseconds(document->value("timeStamp", std::string()));
    if (sent >= 0) {
      double latency =
          std::chrono::duration<double, std::milli>(wall.time_since_epoch()).count() - sent;
      if (car.latencies.size() < kLatencySamples) {
        car.latencies.push_back(latency);
      } else {
        car.latencies[car.nextLatency++ % kLatencySamples] = latency;
      }
    }
  }
  if (car.windowBytes == 0) car.windowStart = now;
  car.windowBytes += payload.size() + topic.size();
  double window = std::chrono::duration<double>(now - car.windowStart).count();
  if (window >= kRateWindowSeconds) {
    car.bytesPerSecond = car.windowBytes / window;
    car.windowBytes = 0;
  }
  // A stored value handed out again after a reconnection is no news: the
  // gap is measured to the next live message.
  if (!retained || car.messages == 0) {
    car.lastReceived = now;
    car.receivedAt = utcTimeStamp(wall);
  }
  ++car.messages;
  car.status = document->value("status", std::string("waiting"));
  car.parts[part] = std::move(document);
  car.arrival[part] = ++arrivals_;
  if (!retained) car.online = true;  // news means the publisher is there
  remake(car);
}

void MqttFollower::remake(Car& car) {
  auto parts = car.parts;
  auto arrival = car.arrival;
  bool stale = !car.online;
  json follow = {{"car", car.name},
                 {"online", car.online},
                 {"receivedAt", car.receivedAt},
                 {"gaps", car.gaps},
                 {"lastGapSeconds", car.lastGapSeconds}};
  int newest = -1;
  for (int i = 0; i < static_cast<int>(parts.size()); ++i) {
    if (parts[i] && (newest < 0 || arrival[i] > arrival[newest])) newest = i;
  }
  bool picture = newest >= 0 && hasPicture(*parts[newest]);
  std::string status = stale ? "stale" : car.status;
  car.frame = std::make_shared<
      const Frame>(nextId_++, status, picture, [parts, arrival, stale, follow](unsigned bits) {
    json merged = json::object();
    int latest = -1, latestEngineer = -1;
    for (size_t i = 0; i < kMqttParts.size(); ++i) {
      if (!(bits & kMqttParts[i].bits) || !parts[i]) continue;
      for (auto& [key, value] : parts[i]->items()) merged[key] = value;
      if (latest < 0 || arrival[i] > arrival[latest]) latest = static_cast<int>(i);
      if (parts[i]->contains("engineer") &&
          (latestEngineer < 0 || arrival[i] > arrival[latestEngineer])) {
        latestEngineer = static_cast<int>(i);
      }
    }
    // The engineer's parts each carry its block; the newest says the race
    // length best (history may go a little later than the others).
    if (latestEngineer >= 0) merged["engineer"] = parts[latestEngineer]->at("engineer");
    if (latest >= 0) {
      for (const char* key : kEnvelope) {
        auto at = parts[latest]->find(key);
        if (at != parts[latest]->end()) merged[key] = *at;
      }
    } else {
      merged = {{"schemaVersion", kSnapshotSchemaVersion}, {"status", "waiting"}, {"whole", false}};
    }
    if (stale) merged["status"] = "stale";
    merged["follow"] = follow;
    return merged;
  });
}

std::shared_ptr<const Frame> MqttFollower::latest(const std::string& car) const {
  std::lock_guard<std::mutex> hold(mutex_);
  if (car.empty()) return cars_.empty() ? waiting_ : cars_.begin()->second.frame;
  auto at = cars_.find(car);
  return at == cars_.end() ? nullptr : at->second.frame;
}

CommandOutcome MqttFollower::commandTarget(const std::string& car, std::string& name) const {
  std::lock_guard<std::mutex> hold(mutex_);
  if (cars_.empty()) return {503, "no car has published yet"};
  name = car.empty() ? cars_.begin()->first : car;
  if (!cars_.count(name)) return {404, "no such car: " + name};
  return {200, ""};
}

CommandOutcome MqttFollower::sendCommand(const std::string& name, const json& command) {
  json message = {{"token", settings_.commandToken}, {"command", command}};
  if (!connection_->publish(url_.prefix + "/" + name + "/" + kMqttCommandLevel, message.dump(), 1,
                            false)) {
    return {503, "not connected to the broker: nothing was sent"};
  }
  return {202, "sent to " + name + " through the broker"};
}

CommandOutcome MqttFollower::command(const std::string& car, const BlockCommands& commands) {
  if (!settings_.commands) {
    return {403,
            "commands do not travel through the broker unless both ends were started with "
            "--mqtt-commands"};
  }
  std::string name;
  if (CommandOutcome target = commandTarget(car, name); target.status != 200) return target;
  json command = json::object();
  if (commands.classRow) command["classRow"] = *commands.classRow;
  if (commands.odometer) command["resetOdometer"] = *commands.odometer;
  if (commands.kers) command["kers"] = *commands.kers;
  return sendCommand(name, command);
}

CommandOutcome MqttFollower::setRaceLength(const std::string& car, engineer::RaceLength length,
                                           bool withToken) {
  std::string name;
  if (CommandOutcome target = commandTarget(car, name); target.status != 200) return target;
  std::optional<engineer::RaceLength> current;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const Car& known = cars_.at(name);
    uint64_t newest = 0;
    for (size_t i = 0; i < known.parts.size(); ++i) {
      const auto& part = known.parts[i];
      auto at = part ? part->find("engineer") : json::const_iterator();
      if (part && at != part->end() && at->is_object() && known.arrival[i] > newest) {
        newest = known.arrival[i];
        current = raceLengthOf(at->value("raceLength", json()));
      }
    }
  }
  if (current && current->laps == length.laps && current->minutes == length.minutes) {
    return {200, name + " already has this race length"};
  }
  if (!settings_.commands) {
    return {403,
            "the race length is set on the driver's korvanel-live, whose race engineer works out "
            "the fuel figures (--race-laps, --race-minutes, its page's race=); to set it from "
            "here, start both ends with --mqtt-commands"};
  }
  if (!withToken) {
    return {401,
            "a race length for the driver's car goes there as a command: send it with the token "
            "(POST /api/v1/command {\"raceLength\": ...})"};
  }
  return sendCommand(name, json{{"raceLength", raceLengthJson(length)}});
}

std::string MqttFollower::carsText() const {
  auto now = Clock::now();
  std::lock_guard<std::mutex> hold(mutex_);
  json cars = json::array();
  for (const auto& [name, car] : cars_) {
    double age = car.messages ? std::chrono::duration<double>(now - car.lastReceived).count() : -1;
    cars.push_back({{"car", name},
                    {"online", car.online},
                    {"status", car.online ? car.status : std::string("stale")},
                    {"ageSeconds", age},
                    {"messages", car.messages},
                    {"gaps", car.gaps},
                    {"lastGapSeconds", car.lastGapSeconds},
                    {"latencyMs",
                     {{"p50", percentile(car.latencies, 0.50)},
                      {"p99", percentile(car.latencies, 0.99)},
                      {"samples", car.latencies.size()}}},
                    {"bytesPerSecond", car.bytesPerSecond}});
  }
  return json{{"connected", connection_ && connection_->connected()},
              {"brokerLosses", brokerLosses_},
              {"prefix", url_.prefix},
              {"cars", cars}}
      .dump();
}

}  // namespace korvanel::tools::live

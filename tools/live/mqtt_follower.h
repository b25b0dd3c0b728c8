// The pit wall's side: follows every car published under a prefix and
// serves each as this computer's own car would be served, the race
// engineer's parts included: the driver's korvanel-live works them out and
// publishes them, so a follower has no engineer of its own. A car's frame
// is the merge of its parts as they last came; its status is "stale" once
// the broker announced its publisher gone (the publisher's last will).
#pragma once

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/live/frame_feed.h"
#include "tools/live/mqtt_options.h"
#include "tools/live/mqtt_topics.h"

namespace korvanel::tools::live {

class MqttConnection;

class MqttFollower : public FrameSource {
 public:
  MqttFollower(MqttUrl url, const MqttSettings& settings);
  ~MqttFollower() override;

  // Connects and subscribes (again after every reconnection); false with
  // `error` when the settings cannot work.
  bool start(std::string& error);
  void stop();

  // "": the first car by name; before any car came, a frame that says so.
  std::shared_ptr<const Frame> latest(const std::string& car) const override;
  // Sends the commands to the car's publisher with the driver's token when
  // commands were enabled (202: sent, no answer awaited); 403 otherwise.
  CommandOutcome command(const std::string& car, const BlockCommands& commands) override;
  // The race length is the driver's engineer's: 200 when the car already
  // publishes `length` (nothing is sent, so a page's race= that matches
  // works everywhere); otherwise sent to the car's publisher as a command
  // like command() (202), and 403 without --mqtt-commands; 401 without the
  // token, since it changes what the driver's own screens show.
  CommandOutcome setRaceLength(const std::string& car, engineer::RaceLength length,
                               bool withToken) override;
  // {"connected", "brokerLosses", "cars": [{"car", "online", "status",
  // "ageSeconds", "gaps", "lastGapSeconds", "latencyMs", "bytesPerSecond"}]}
  std::string carsText() const override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Car {
    std::string name;
    std::array<std::shared_ptr<const nlohmann::json>, kMqttParts.size()> parts;
    std::array<uint64_t, kMqttParts.size()> arrival{};  // order of arrival, to find the newest part
    bool online = true;
    std::string status = "waiting";  // of the newest part
    Clock::time_point lastReceived;
    std::string receivedAt;  // UTC
    uint64_t messages = 0;
    int gaps = 0;
    double lastGapSeconds = 0;
    std::vector<double> latencies;  // ms, a ring
    size_t nextLatency = 0;
    Clock::time_point windowStart;
    uint64_t windowBytes = 0;
    double bytesPerSecond = 0;
    std::shared_ptr<const Frame> frame;
  };

  void receive(const std::string& topic, const std::string& payload, bool retained);
  void remake(Car& car);
  // The car of `car` ("" the first by name) for a command: its name, or
  // the refusal when there is none.
  CommandOutcome commandTarget(const std::string& car, std::string& name) const;
  // Publishes {"token", "command": command} to the car's command topic.
  CommandOutcome sendCommand(const std::string& name, const nlohmann::json& command);

  MqttUrl url_;
  MqttSettings settings_;
  std::unique_ptr<MqttConnection> connection_;
  mutable std::mutex mutex_;
  std::map<std::string, Car> cars_;
  uint64_t nextId_ = 1;
  uint64_t arrivals_ = 0;
  int brokerLosses_ = 0;
  std::shared_ptr<const Frame> waiting_;
};

}  // namespace korvanel::tools::live

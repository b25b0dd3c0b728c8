// Publishes this computer's race to an MQTT broker from a thread of its
// own: it picks up the feed's newest frame as the live server's clients do,
// so the reader thread never waits for the network, and keeps at most a
// few messages queued: a slow broker loses frames, not memory.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/live/frame_feed.h"
#include "tools/live/mqtt_options.h"
#include "tools/live/mqtt_topics.h"

namespace korvanel::tools::live {

class MqttConnection;

class MqttPublisher {
 public:
  // `token`: the driver's command token, which a command coming through the
  // broker must carry (commands are taken only with settings.commands).
  MqttPublisher(FrameFeed& feed, MqttUrl url, const MqttSettings& settings, std::string token);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts connecting and publishing; false with `error` when the settings
  // cannot work.
  bool start(std::string& error);
  // Stops publishing and leaves the broker, which then marks the car offline.
  void stop();
  // The topic level of this car, PREFIX/CAR.
  const std::string& base() const { return base_; }

 private:
  void run();
  // Publishes the parts of `frame` that changed, at `now` (monotonic s);
  // true when one of them is held back (by its leastSeconds, or a refused
  // hand-over) and is to go with a later look even if no new frame comes.
  bool publishFrame(const Frame& frame, double now);
  void takeCommand(const std::string& payload);

  FrameFeed& feed_;
  MqttUrl url_;
  MqttSettings settings_;
  std::string token_;
  std::string car_;
  std::string base_;
  std::unique_ptr<MqttConnection> connection_;
  std::thread thread_;
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> republish_{false};  // after a (re)connection: every part again
  std::atomic<int> queued_{0};          // messages handed to the client, not yet sent
  std::array<std::string, kMqttParts.size()> lastBody_;
  std::array<double, kMqttParts.size()> lastSent_{};  // monotonic s
};

}  // namespace korvanel::tools::live

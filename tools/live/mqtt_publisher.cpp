// A part is published when its content changed: session, standings and
// player change with every update of the host (the clock, the positions),
// records only when a record or the time table does; of the engineer's,
// delta, relative and fuel move with the car, classes with the scoring,
// history with laps and pit stops. The engineer's parts are encoded from
// the frame's own engineer view, so followers get what the driver's
// overlays show, worked out once on the driver's machine. Every part is
// retained so a late follower has the picture at once; after a reconnection
// (the broker may have restarted without its store) all parts go again.
#include "tools/live/mqtt_publisher.h"

#include <boost/asio/ip/host_name.hpp>

#include <chrono>
#include <cstdio>
#include <optional>

#include "tools/engineer/engineer_json.h"
#include "tools/live/live_requests.h"
#include "tools/live/mqtt_connection.h"
#include "tools/live/mqtt_deflate.h"
#include "tools/platform/tool_platform.h"

namespace korvanel::tools::live {
namespace {

using nlohmann::json;

// New frames come at most at the reader's 60 a second; looking more often
// would only add wake-ups.
constexpr double kLookSeconds = 1.0 / 60;
// A frame is one message a part at most; beyond two frames' worth the
// broker is not keeping up and the frame is skipped.
constexpr int kQueueLimit = 2 * static_cast<int>(kMqttParts.size());

std::string localName() {
  boost::system::error_code ec;
  std::string name = boost::asio::ip::host_name(ec);
  return ec ? std::string("car") : name;
}

}  // namespace

MqttPublisher::MqttPublisher(FrameFeed& feed, MqttUrl url, const MqttSettings& settings,
                             std::string token)
    : feed_(feed), url_(std::move(url)), settings_(settings), token_(std::move(token)) {
  car_ = topicLevel(settings_.car.empty() ? localName() : settings_.car);
  base_ = url_.prefix + "/" + car_;
}

MqttPublisher::~MqttPublisher() { stop(); }

bool MqttPublisher::start(std::string& error) {
  MqttConnection::Callbacks callbacks;
  callbacks.connected = [this] {
    queued_.store(0);  // the client dropped what it held with the old connection
    connection_->publish(base_ + "/" + kMqttStatusLevel, kMqttOnline, 1, true);
    if (settings_.commands) connection_->subscribe(base_ + "/" + kMqttCommandLevel, 1);
    republish_.store(true);
    wake_.notify_one();
  };
  callbacks.sent = [this] {
    if (queued_.load() > 0) queued_.fetch_sub(1);
  };
  callbacks.message = [this](const std::string& topic, const std::string& payload, bool) {
    if (topic == base_ + "/" + kMqttCommandLevel) takeCommand(payload);
  };
  connection_ = std::make_unique<MqttConnection>(
      url_, settings_.caFile, settings_.keepAlive, "pub-" + car_,
      MqttConnection::Will{base_ + "/" + kMqttStatusLevel, kMqttOffline}, callbacks);
  if (!connection_->start(error)) return false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void MqttPublisher::stop() {
  {
    std::lock_guard<std::mutex> hold(wakeMutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  if (connection_) {
    // A car that leaves on purpose is offline too, without waiting for the will.
    connection_->publish(base_ + "/" + kMqttStatusLevel, kMqttOffline, 1, true);
    sleepSeconds(0.1);
    connection_->stop();
  }
}

void MqttPublisher::run() {
  const double period = 1.0 / settings_.rate;
  uint64_t lastId = 0;
  double lastPublish = -1e9;
  bool held = false;
  std::unique_lock<std::mutex> hold(wakeMutex_);
  while (!stopping_) {
    wake_.wait_for(hold, std::chrono::duration<double>(kLookSeconds));
    if (stopping_) break;
    if (!connection_->connected()) continue;
    if (republish_.exchange(false)) {
      lastId = 0;
      for (std::string& body : lastBody_) body.clear();
      lastSent_.fill(-1e9);
    }
    std::shared_ptr<const Frame> frame = feed_.latest();
    double now = monotonicSeconds();
    if (!frame || (frame->id() == lastId && !held) || now - lastPublish < period) continue;
    if (queued_.load() > kQueueLimit) continue;
    lastId = frame->id();
    lastPublish = now;
    hold.unlock();
    held = publishFrame(*frame, now);
    hold.lock();
  }
}

bool MqttPublisher::publishFrame(const Frame& frame, double now) {
  bool held = false;
  for (size_t i = 0; i < kMqttParts.size(); ++i) {
    const unsigned bits = kMqttParts[i].bits;
    json document =
        frame.block() ? snapshotJson(*frame.block(), frame.meta(), bits) : statusJson(frame.meta());
    // Adds nothing for the block's parts.
    if (frame.block() && frame.engineer()) {
      engineer::addEngineerJson(document, *frame.engineer(), bits);
    }
    // What changes with every frame even when the part does not stays out
    // of the comparison.
    json envelope = json::object();
    for (const char* key : {"timeStamp", "sequence", "updateCount"}) {
      auto at = document.find(key);
      if (at == document.end()) continue;
      envelope[key] = std::move(*at);
      document.erase(at);
    }
    std::string body = snapshotText(document, -1);
    if (body == lastBody_[i]) continue;
    if (now - lastSent_[i] < kMqttParts[i].leastSeconds) {
      held = true;
      continue;
    }
    lastBody_[i] = std::move(body);
    for (auto& [key, value] : envelope.items()) document[key] = std::move(value);
    std::string text = snapshotText(document, -1);
    if (settings_.compress) text = deflateText(text);
    if (connection_->publish(base_ + "/" + kMqttParts[i].name, text, 0, true)) {
      queued_.fetch_add(1);
      lastSent_[i] = now;
    } else {
      lastBody_[i].clear();  // not sent: goes again with the next look
      held = true;
    }
  }
  return held;
}

void MqttPublisher::takeCommand(const std::string& payload) {
  json message = json::parse(payload, nullptr, false);
  json reply;
  BlockCommands commands;
  std::optional<engineer::RaceLength> raceLength;
  if (!message.is_object() || !message.contains("command")) {
    reply = {{"status", 400},
             {"error", "a command message is {\"token\": ..., \"command\": {...}}"}};
  } else if (!message.value("token", json()).is_string() ||
             !sameToken(message["token"].get<std::string>(), token_)) {
    reply = {{"status", 403}, {"error", "wrong or missing token"}};
  } else if (Refusal r = parseCommands(message["command"], commands, &raceLength)) {
    reply = {{"status", r.status}, {"error", r.reason}};
  } else {
    CommandOutcome outcome{200, ""};
    // The race length is the engineer's, which this computer runs: the pit
    // wall may set it as the driver's own page does.
    if (raceLength) outcome = feed_.setRaceLength("", *raceLength, true);
    if (outcome.status == 200 && commands.any()) {
      CommandOutcome written = feed_.command(commands);
      written.message = outcome.message + (outcome.message.empty() ? "" : "\n") + written.message;
      outcome = written;
    }
    reply = outcome.status == 200 ? json{{"status", 200}, {"done", outcome.message}}
                                  : json{{"status", outcome.status}, {"error", outcome.message}};
  }
  connection_->publish(base_ + "/" + kMqttCommandLevel + "/reply", reply.dump(), 1, false);
}

}  // namespace korvanel::tools::live

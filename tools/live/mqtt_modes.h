// korvanel-live's two ways of using a broker, as its main sees them. Builds
// without libmosquitto have them too, and say so when asked.
#pragma once

#include <memory>
#include <string>

#include "tools/live/frame_feed.h"
#include "tools/live/live_server.h"
#include "tools/live/mqtt_options.h"

namespace korvanel::tools::live {

class MqttPublisher;

// Publishes `feed` to settings.publish while the result lives; null with
// `error` set when the URL is wrong or this build has no MQTT client.
std::shared_ptr<MqttPublisher> publishRace(FrameFeed& feed, const MqttSettings& settings,
                                           const std::string& token, std::string& error);

// Serves the cars under settings.follow on `server` until SIGINT or
// SIGTERM. Returns main's exit code: 0 stopped, 2 bad URL or no MQTT in
// this build, 3 cannot listen.
int followCars(const MqttSettings& settings, ServerSettings server);

}  // namespace korvanel::tools::live

// With libmosquitto.
#include "tools/live/mqtt_modes.h"

#include <cstdio>

#include "tools/live/mqtt_follower.h"
#include "tools/live/mqtt_publisher.h"

namespace korvanel::tools::live {

std::shared_ptr<MqttPublisher> publishRace(FrameFeed& feed, const MqttSettings& settings,
                                           const std::string& token, std::string& error) {
  MqttUrl url;
  if (!resolveMqttUrl(settings.publish, settings, url, error)) return nullptr;
  auto publisher = std::make_shared<MqttPublisher>(feed, url, settings, token);
  if (!publisher->start(error)) return nullptr;
  std::printf("korvanel-live: publishing to %s://%s:%d under %s/\n", url.tls ? "mqtts" : "mqtt",
              url.host.c_str(), url.port, publisher->base().c_str());
  return publisher;
}

int followCars(const MqttSettings& settings, ServerSettings server) {
  MqttUrl url;
  std::string error;
  if (!resolveMqttUrl(settings.follow, settings, url, error)) {
    std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
    return 2;
  }
  MqttSettings followed = settings;
  followed.commandToken = server.token;
  MqttFollower follower(url, followed);
  LiveServer live(follower, server);
  if (!live.listen(error)) {
    std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
    return 3;
  }
  if (!follower.start(error)) {
    std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
    return 2;
  }
  std::string host = server.address == "0.0.0.0" ? "127.0.0.1" : server.address;
  std::printf("korvanel-live: following %s://%s:%d/%s/#\n", url.tls ? "mqtts" : "mqtt",
              url.host.c_str(), url.port, url.prefix.c_str());
  std::printf("korvanel-live: live timing page at http://%s:%u/\n", host.c_str(), live.port());
  std::printf("korvanel-live: cars at /api/v1/cars, snapshot at /api/v1/snapshot?car=CAR\n");
  std::fflush(stdout);
  live.run();
  follower.stop();
  std::printf("korvanel-live: stopped\n");
  return 0;
}

}  // namespace korvanel::tools::live

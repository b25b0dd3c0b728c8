// Builds without libmosquitto (the Windows cross build): the options exist,
// and using them says plainly that this korvanel-live cannot.
#include <cstdio>

#include "tools/live/mqtt_modes.h"

namespace korvanel::tools::live {
namespace {

constexpr const char* kAbsent =
    "this korvanel-live was built without MQTT (no libmosquitto): --publish and --follow are "
    "not available; use a build made with libmosquitto";

}  // namespace

std::shared_ptr<MqttPublisher> publishRace(FrameFeed&, const MqttSettings&, const std::string&,
                                           std::string& error) {
  error = kAbsent;
  return nullptr;
}

int followCars(const MqttSettings&, ServerSettings) {
  std::fprintf(stderr, "korvanel-live: %s\n", kAbsent);
  return 2;
}

}  // namespace korvanel::tools::live

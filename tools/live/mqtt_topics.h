// The topics korvanel-live publishes under a prefix, one car per level:
// PREFIX/CAR/session, /standings, /player, /records (the block's parts) and
// /classes, /relative, /delta, /fuel, /history (the race engineer's), each
// a snapshot document of that part alone, retained; PREFIX/CAR/status
// (retained {"online": true|false}, false being the broker's last will for
// a publisher that vanished) and PREFIX/CAR/command (only with
// --mqtt-commands).
#pragma once

#include <array>

#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {

struct MqttPart {
  const char* name;
  unsigned bits;  // SnapshotPart
  // Least time between two messages of the part, beyond --publish-rate's
  // cap: the history, the largest of the engineer's parts (29 kB of JSON at
  // 20 cars and 10 laps), changes with every scoring update while a car is
  // in the pit lane, where two a second tell the pit time well enough.
  double leastSeconds = 0.0;
};

// In merging order: the standings' full vehicle list after the player's
// one; the engineer's parts, which share no key with the block's but their
// "engineer" block, last.
constexpr std::array<MqttPart, 9> kMqttParts = {{{"session", kPartSession},
                                                 {"player", kPartPlayer},
                                                 {"standings", kPartStandings},
                                                 {"records", kPartRecords},
                                                 {"classes", kPartClasses},
                                                 {"relative", kPartRelative},
                                                 {"delta", kPartDelta},
                                                 {"fuel", kPartFuel},
                                                 {"history", kPartHistory, 0.5}}};

constexpr const char* kMqttStatusLevel = "status";
constexpr const char* kMqttCommandLevel = "command";

// The payloads of PREFIX/CAR/status.
constexpr const char* kMqttOnline = "{\"online\":true}";
constexpr const char* kMqttOffline = "{\"online\":false}";

}  // namespace korvanel::tools::live

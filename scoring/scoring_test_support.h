// What the scoring unit tests share: a block of their own built from a host
// record of theirs, and a configuration with rows they set up.
#pragma once

#include <cstring>
#include <memory>

#include "scoring/scoring_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel::testing {

struct ScoringRig {
  std::unique_ptr<ScoringInfoV2> block = std::make_unique<ScoringInfoV2>();
  PluginConfig config;
  int32_t selectedRow = 0;  // the display's choice of class row
  ScoringBuilder host;
  RaceOrder order = {};
  float topSpeeds[kMaxVehicles] = {};

  VehicleInfoV2& entry(int i) { return block->vehicles[i]; }
  // The header and the entries of the host's record (or `record`), no
  // analysis.
  void fill() { fill(*host.record()); }
  void fill(const HostScoring& record) {
    orderRace(record, nullptr, order);
    fillScoringEntries(*block, record, order, topSpeeds);
  }
  void analyse() { analyseField(*block, config, selectedRow, nullptr, order.slot); }
  // The whole block, as an update builds it.
  void update() { update(*host.record()); }
  void update(const HostScoring& record) {
    fill(record);
    analyse();
  }
  // Row `row` becomes the label and the given patterns; the rest stays empty.
  template <typename... Patterns>
  void setRow(int row, const char* label, Patterns... patterns) {
    const char* slots[] = {label, patterns...};
    int s = 0;
    for (const char* text : slots) config.classRows[row][s++] = text;
    for (; s < kClassSlots; ++s) config.classRows[row][s] = nullptr;
  }
  // Makes vehicle `v` the player's car.
  static void makePlayer(HostVehicle& v) {
    v.isPlayer = 1;
    v.control = 0;
  }
};

}  // namespace korvanel::testing

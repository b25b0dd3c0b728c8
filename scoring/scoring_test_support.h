// What the scoring unit tests share: a block of their own attached to a
// writer, and a configuration with rows they set up.
#pragma once

#include <cstring>
#include <memory>

#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel::testing {

struct ScoringRig {
  std::unique_ptr<ScoringInfoV2> block = std::make_unique<ScoringInfoV2>();
  ScoringBlockWriter writer;
  PluginConfig config;
  int32_t selectedRow = 0;  // the display's choice of class row
  ScoringBuilder host;

  ScoringRig() { writer.attach(block.get()); }

  VehicleInfoV2& entry(int i) { return block->vehicles[i]; }
  void fill() { writer.fillFromHost(*host.record()); }
  void update() {
    fill();
    writer.analyse(config, selectedRow);
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

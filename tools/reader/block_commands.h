// The command bytes a display program writes into the state record of the
// shared block; the plugin picks them up at its next update.
#pragma once

#include <optional>
#include <string>

#include "korvanel/reader.h"

namespace korvanel::tools {

struct BlockCommands {
  std::optional<int> classRow;          // 0 to 255
  std::optional<std::string> odometer;  // "vehicle" or "track"
  std::optional<std::string> kers;      // "on", "off", "run" or "stop"

  bool any() const { return classRow || odometer || kers; }
};

// Writes the bytes into a block opened for writing; returns one line per
// command saying what was written.
std::string applyCommands(KorvanelReader& reader, const BlockCommands& commands);

}  // namespace korvanel::tools

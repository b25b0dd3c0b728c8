// Each command is a single byte store: the plugin copies the whole state
// record in at the start of every update and sees the new value there.
#include "tools/reader/block_commands.h"

namespace korvanel::tools {

std::string applyCommands(KorvanelReader& reader, const BlockCommands& commands) {
  std::string done;
  if (commands.classRow) {
    korvanel_write_command(&reader, KORVANEL_COMMAND_CLASS_ROW,
                           static_cast<uint8_t>(*commands.classRow));
    done += "class row " + std::to_string(*commands.classRow) + " selected\n";
  }
  if (commands.odometer) {
    bool vehicle = *commands.odometer == "vehicle";
    korvanel_write_command(
        &reader, KORVANEL_COMMAND_DISTANCE_RESET,
        vehicle ? KORVANEL_RESET_VEHICLE_DISTANCE : KORVANEL_RESET_TRACK_DISTANCE);
    done += std::string("odometer reset of the ") + (vehicle ? "vehicle" : "track") +
            " total requested\n";
  }
  if (commands.kers) {
    const std::string& k = *commands.kers;
    if (k == "on" || k == "off") {
      korvanel_write_command(&reader, KORVANEL_COMMAND_KERS_TIMER_ON, k == "on" ? 1 : 0);
    }
    if (k == "run" || k == "stop") {
      korvanel_write_command(&reader, KORVANEL_COMMAND_KERS_RUNNING, k == "run" ? 1 : 0);
    }
    done += "KERS timer " + k + "\n";
  }
  return done;
}

}  // namespace korvanel::tools

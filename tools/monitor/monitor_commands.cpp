// Each command is a single byte store: the plugin copies the whole state
// record in at the start of every update and sees the new value there.
#include "tools/monitor/monitor_commands.h"

namespace korvanel::tools {

std::string applyCommands(volatile KorvanelSharedBlock* block, const MonitorCommands& commands) {
  volatile KorvanelHostState& state = block->state;
  std::string done;
  if (commands.classRow) {
    state.selectedClassRow = static_cast<uint8_t>(*commands.classRow);
    done += "class row " + std::to_string(*commands.classRow) + " selected\n";
  }
  if (commands.odometer) {
    bool vehicle = *commands.odometer == "vehicle";
    state.distanceResetCommand =
        vehicle ? KORVANEL_RESET_VEHICLE_DISTANCE : KORVANEL_RESET_TRACK_DISTANCE;
    done += std::string("odometer reset of the ") + (vehicle ? "vehicle" : "track") +
            " total requested\n";
  }
  if (commands.kers) {
    const std::string& k = *commands.kers;
    if (k == "on" || k == "off") state.kersTimerOn = k == "on" ? 1 : 0;
    if (k == "run" || k == "stop") state.kersRunning = k == "run" ? 1 : 0;
    done += "KERS timer " + k + "\n";
  }
  return done;
}

}  // namespace korvanel::tools

// Team marks: drivers named in the configured team list. While the player
// drives, marks are given only when the configuration asked for it.
#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"
#include "settings/text_compare.h"

namespace korvanel {

void ScoringBlockWriter::markTeamMembers(const PluginConfig& config) {
  if (block_ == nullptr) return;
  ScoringInfoV2& b = *block_;
  const int n = countedVehicles(b);
  const bool check = b.playerIndex == -1 || config.realtimeMode;
  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.teamMember = 0;
    if (!check) continue;
    for (const std::string& name : config.teamMembers) {
      if (equalsIgnoreCase(e.host.driverName, name.c_str())) {
        e.teamMember = 1;
        break;
      }
    }
  }
}

}  // namespace korvanel

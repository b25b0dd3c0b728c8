// Team marks: drivers named in the configured team list. While the player
// drives, marks are given only when the configuration asked for it.
#include <cstdint>
#include <string>

#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"

namespace korvanel {

void ScoringBlockWriter::markTeamMembers(const PluginConfig& config) {
  if (block_ == nullptr) return;
  ScoringInfoV2& b = *block_;
  const int n = countedVehicles(b);
  const bool check = b.playerIndex == -1 || config.realtimeMode;

  // The first letters of the team's names, case folded: a driver whose
  // first letter is not among them matches none, which spares most entries
  // the walk through the list. In 32-bit words: a shift by a variable
  // count of a 64-bit word takes branches on the 32-bit build.
  uint32_t firstLetters[8] = {};
  for (const std::string& name : config.teamMembers) {
    unsigned char c = static_cast<unsigned char>(foldCase(name.c_str()[0]));
    firstLetters[c / 32] |= uint32_t{1} << (c % 32);
  }

  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.teamMember = 0;
    if (!check) continue;
    unsigned char c = static_cast<unsigned char>(foldCase(e.host.driverName[0]));
    if ((firstLetters[c / 32] & (uint32_t{1} << (c % 32))) == 0) continue;
    for (const std::string& name : config.teamMembers) {
      if (equalsIgnoreCase(e.host.driverName, name.c_str())) {
        e.teamMember = 1;
        break;
      }
    }
  }
}

}  // namespace korvanel

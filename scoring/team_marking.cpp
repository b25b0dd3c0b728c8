// Team marks: drivers named in the configured team list. While the player
// drives, marks are given only when the configuration asked for it.
#include "scoring/team_marking.h"

#include <cstdint>
#include <string>

#include "settings/plugin_config.h"
#include "text/ascii_text.h"

namespace korvanel {
namespace {

bool onTeamList(const PluginConfig& config, const VehicleInfoV2& e) {
  for (const std::string& name : config.teamMembers) {
    if (equalsIgnoreCase(e.host.driverName, name.c_str())) return true;
  }
  return false;
}

// FNV-1a over the names and their ends: another list, another value.
uint64_t teamListHash(const PluginConfig& config) {
  uint64_t h = 14695981039346656037ull;
  for (const std::string& name : config.teamMembers) {
    for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    h = (h ^ 0x100u) * 1099511628211ull;
  }
  return h;
}

}  // namespace

void markTeamMembers(ScoringInfoV2& b, const PluginConfig& config, CarSlots* slots,
                     CarSlot* const* slotOfEntry) {
  const int n = countedVehicles(b);
  const bool check = b.playerIndex == -1 || config.realtimeMode;

  // The slots' marks hold while the list is the one they were made for.
  if (slots != nullptr && check) slots->keepTeamMarksFor(teamListHash(config));

  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.teamMember = 0;
    if (!check) continue;
    CarSlot* slot = slots ? slotOfEntry[i] : nullptr;
    if (slot != nullptr && slot->teamEpoch == slots->teamEpoch()) {
      e.teamMember = slot->teamMember;
      continue;
    }
    e.teamMember = onTeamList(config, e) ? 1 : 0;
    if (slot != nullptr) {
      slot->teamMember = e.teamMember;
      slot->teamEpoch = slots->teamEpoch();
    }
  }
}

}  // namespace korvanel

// One scoring block from one host record, top to bottom.
#include "scoring/scoring_block.h"

#include <algorithm>

#include "scoring/class_grouping.h"
#include "scoring/gaps.h"
#include "scoring/team_marking.h"
#include "scoring/vehicle_conversion.h"

namespace korvanel {

// A counting sort: places are single bytes, so a histogram of 256 counters
// orders any number of vehicles in two passes, stably, without the
// comparison calls of a general sort.
void orderRace(const HostScoring& scoring, CarSlots* slots, RaceOrder& order) {
  const int32_t count = scoring.vehicles != nullptr ? scoring.vehicleCount : 0;
  order.count = std::clamp<int32_t>(count, 0, kMaxVehicles);
  // How many vehicles hold each place, then where each place's run starts.
  int32_t next[256] = {};
  for (int32_t k = 0; k < count; ++k) ++next[scoring.vehicles[k].place];
  int32_t start = 0;
  for (int place = 0; place < 256; ++place) {
    int32_t held = next[place];
    next[place] = start;
    start += held;
  }
  // Host order within a place; those past the block's capacity are dropped,
  // and they are always the highest places.
  for (int32_t k = 0; k < count; ++k) {
    int32_t entry = next[scoring.vehicles[k].place]++;
    if (entry < kMaxVehicles) order.hostIndex[entry] = k;
  }

  for (int i = 0; i < order.count; ++i) {
    const int32_t h = order.hostIndex[i];
    order.slot[i] = slots ? slots->check(h, scoring.vehicles[h]) : nullptr;
  }
  // Entries beyond the order that the record still counts have no slot.
  for (int i = order.count; i < kMaxVehicles; ++i) order.slot[i] = nullptr;
}

void fillScoringEntries(ScoringInfoV2& block, const HostScoring& scoring, const RaceOrder& order,
                        const float* topSpeeds) {
  copyScoringHeader(block, scoring);
  for (int i = 0; i < order.count; ++i) {
    VehicleInfoV2& e = block.vehicles[i];
    convertVehicle(e, scoring.vehicles[order.hostIndex[i]], scoring.lapLength, order.slot[i]);
    e.topSpeed = topSpeeds[i];
  }
}

void analyseField(ScoringInfoV2& block, const PluginConfig& config, int32_t row, CarSlots* slots,
                  CarSlot* const* slotOfEntry) {
  // Over the counted entries, which are the order's unless the record has
  // a count but no array: the entries of the previous update then stand.
  groupClasses(block, config, row, slots, slotOfEntry);
  markTeamMembers(block, config, slots, slotOfEntry);
  if (block.noClassGroup == 0) {
    computeClassGaps(block);
    computePlayerGaps(block);
  }
}

}  // namespace korvanel

// One scoring block from one host record, top to bottom.
#include "scoring/scoring_block.h"

#include "scoring/class_grouping.h"
#include "scoring/gaps.h"
#include "scoring/place_order.h"
#include "scoring/team_marking.h"
#include "scoring/vehicle_conversion.h"

namespace korvanel {

void orderRace(const HostScoring& scoring, CarSlots* slots, RaceOrder& order) {
  order.count = orderByPlace(scoring.vehicles, scoring.vehicleCount, order.hostIndex);
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

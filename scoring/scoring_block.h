// The scoring block built from one host scoring record, in three steps:
// the race order, the header and the entries in that order, then the
// analysis over the whole field (class grouping, team marks, gaps).
#pragma once

#include <cstdint>

#include "host/host_records.h"
#include "scoring/car_slots.h"
#include "scoring/scoring_info.h"

namespace korvanel {

class PluginConfig;

// Which host vehicle fills each entry of the block, and its car slot.
struct RaceOrder {
  int count;                        // min(host count, 150); 0 without an array
  int32_t hostIndex[kMaxVehicles];  // entry i comes from vehicles[hostIndex[i]]
  CarSlot* slot[kMaxVehicles];      // its slot, or null (always beyond count)
};

// The indices of the best-placed min(count, 150) of `scoring`'s vehicles,
// by place (compared as unsigned bytes), equal places in host order, so the
// leaders always stay; each with its slot from `slots` when given. Without
// an array or a positive count, none, the array never read. No heap.
// REQUIRES: slots->beginPass() since the host's array last changed.
void orderRace(const HostScoring& scoring, CarSlots* slots, RaceOrder& order);

// The header, and entry i from the host's vehicle order.hostIndex[i] with
// topSpeeds[i], for the order's count; entries beyond stay as they are.
void fillScoringEntries(ScoringInfoV2& block, const HostScoring& scoring, const RaceOrder& order,
                        const float* topSpeeds);

// The analysis over the counted entries of a filled block: class grouping
// by `row` (a display's choice), team marks and, when the group is not
// empty, the gaps. `slots` (those of orderRace, or null to work all out)
// and `slotOfEntry` as for groupClasses (scoring/class_grouping.h).
void analyseField(ScoringInfoV2& block, const PluginConfig& config, int32_t row, CarSlots* slots,
                  CarSlot* const* slotOfEntry);

}  // namespace korvanel

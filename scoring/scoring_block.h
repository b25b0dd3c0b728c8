// The scoring block built from one host scoring record: the header, the
// entries in race order, then the analysis over the whole field (class
// grouping, team marks, gaps). The one way in for a scoring update.
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

// The race order of `scoring`'s vehicles (orderByPlace), each with its slot
// from `slots` when given.
// REQUIRES: slots->beginPass() since the host's array last changed.
void orderRace(const HostScoring& scoring, CarSlots* slots, RaceOrder& order);

// Everything a scoring block is built from besides the host's record.
struct ScoringInputs {
  const RaceOrder& order;      // from orderRace on the same record
  const float* topSpeeds;      // entry i's top speed, for the order's count
  const PluginConfig& config;  // class rows and team list
  int32_t selectedRow;         // the class row a display selected
  CarSlots* slots;             // those of orderRace, or null to work all out
};

// Writes the whole block: fillScoringEntries, then analyseField.
void buildScoringBlock(ScoringInfoV2& block, const HostScoring& scoring, const ScoringInputs& in);

// The header, and entry i from the host's vehicle order.hostIndex[i] with
// topSpeeds[i], for the order's count; entries beyond stay as they are.
void fillScoringEntries(ScoringInfoV2& block, const HostScoring& scoring, const RaceOrder& order,
                        const float* topSpeeds);

// The analysis over the counted entries of a filled block: class grouping
// by `row`, team marks and, when the group is not empty, the gaps.
// `slotOfEntry` as for groupClasses (scoring/class_grouping.h).
void analyseField(ScoringInfoV2& block, const PluginConfig& config, int32_t row, CarSlots* slots,
                  CarSlot* const* slotOfEntry);

}  // namespace korvanel

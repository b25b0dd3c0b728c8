// Builds the published scoring block from a host scoring record: header
// copy, vehicles ordered by place, per-vehicle conversion, then the analysis
// (class grouping, team marks, gaps).
#pragma once

#include "host/host_records.h"
#include "scoring/car_slots.h"
#include "scoring/scoring_info.h"

namespace korvanel {

class PluginConfig;

class ScoringBlockWriter {
 public:
  // `slots`, when given, keep what each car's names decide from update to
  // update; without them everything is worked out each time, with the same
  // result.
  // REQUIRES: slots->beginPass() before each fillFromHost.
  void attach(ScoringInfoV2* block, CarSlots* slots = nullptr) {
    block_ = block;
    slots_ = slots;
  }
  ScoringInfoV2* block() const { return block_; }

  // Header copy, ordering by place and conversion of every counted vehicle.
  void fillFromHost(const HostScoring& scoring);
  // Fills the entry the writer currently points at from one host vehicle,
  // taking the name facts from `slot` (the vehicle's, or null).
  void convertVehicle(const HostScoring& scoring, const HostVehicle& vehicle, CarSlot* slot);
  // Class grouping and team marking, then the gaps when the group is not
  // empty; uses `config`'s rows and team list and groups by row
  // `selectedRow` (a display's choice; one beyond the rows groups nothing).
  void analyse(const PluginConfig& config, int32_t selectedRow);
  // Copies the whole block image to `destination`.
  void copyTo(void* destination) const;
  // Entry i of the last fillFromHost came from the host's vehicle
  // hostIndexOfEntry()[i], for the counted entries.
  const int32_t* hostIndexOfEntry() const { return hostIndex_; }

  void groupClasses(const PluginConfig& config, int32_t row);
  void markTeamMembers(const PluginConfig& config);
  void computeClassGaps();
  void computePlayerGaps();

 private:
  ScoringInfoV2* block_ = nullptr;
  VehicleInfoV2* entry_ = nullptr;
  // What the slots' class answers were worked out for.
  struct ClassKey {
    const PluginConfig* config;
    int32_t row;
    const char* patterns[16];  // the row's, by slot
    bool hasPlayer;
    char playerClass[32];  // the player's entry's class field
    bool operator==(const ClassKey& other) const;
  };

  CarSlots* slots_ = nullptr;
  ClassKey classKey_ = {};
  uint64_t teamListHash_ = 0;  // of the list the slots' team marks were made for
  int32_t hostIndex_[kMaxVehicles] = {};
  CarSlot* slotOfEntry_[kMaxVehicles] = {};  // from the last fillFromHost, or null
};

}  // namespace korvanel

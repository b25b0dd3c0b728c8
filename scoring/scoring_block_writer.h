// Builds the published scoring block from a host scoring record: header
// copy, vehicles ordered by place, per-vehicle conversion, then the analysis
// (class grouping, team marks, gaps).
#pragma once

#include "host/host_records.h"
#include "scoring/scoring_info.h"

namespace korvanel {

class PluginConfig;

class ScoringBlockWriter {
 public:
  void attach(ScoringInfoV2* block) { block_ = block; }
  ScoringInfoV2* block() const { return block_; }

  // Header copy, ordering by place and conversion of every counted vehicle.
  void fillFromHost(const HostScoring& scoring);
  // Fills the entry the writer currently points at from one host vehicle.
  void convertVehicle(const HostScoring& scoring, const HostVehicle& vehicle);
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
  int32_t hostIndex_[kMaxVehicles] = {};
  // Per host index, the class answer of the last grouping, tried first.
  uint8_t classHints_[kMaxVehicles] = {};
};

}  // namespace korvanel

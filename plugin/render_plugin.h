// The one plugin class: owns the car slots, the odometer, the pace
// estimator and the timing table's entry finder, and runs the lifecycle
// calls and the two update cycles.
#pragma once

#include <cstdint>

#include "host/plugin_interface.h"
#include "scoring/car_slots.h"
#include "settings/odometer.h"
#include "telemetry/pace_estimator.h"
#include "telemetry/telemetry_info.h"
#include "timing/entry_finder.h"

namespace korvanel {

class PluginLog;

// Values the cycles keep between calls, one set per process.
struct CycleState {
  bool earlyPhase = true;             // until the first scoring update 5 s into a session
  uint32_t sessionStartTick = 0;      // tick of the latest session start
  int32_t previousLapNumber = 10000;  // so the first telemetry update is a lap change
};
CycleState& cycleState();

class RenderPlugin final : public InternalsPluginV01 {
 public:
  RenderPlugin();
  ~RenderPlugin();

  // The host's calls. None of them lets an exception out into the host: one
  // that escapes the work is logged (once per call kind) and the call
  // returns as if it had done nothing more.
  void* destroy(uint32_t flags) override;
  void startup(int32_t unused) override;
  void shutdown() override;
  void startSession() override;
  void endSession() override;
  void enterRealtime() override;
  void exitRealtime() override;
  bool wantsScoringUpdates() override { return true; }
  void updateScoring(const HostScoring* scoring) override;
  int32_t wantsTelemetryUpdates() override { return 1; }
  void updateTelemetry(const HostTelemetry* telemetry) override;
  bool query23(int32_t, int32_t) override { return false; }

  // For tests and tools in the same process.
  Odometer& odometer() { return odometer_; }
  PaceEstimator& paceEstimator() { return pace_; }
  const char* currentVehicleName() const { return currentVehicleName_; }

 private:
  // The work of enterRealtime (1) and exitRealtime (0); may throw.
  void setRealtime(uint8_t value);

  CarSlots carSlots_;  // what each car's names decide, for the scoring block and the finder
  Odometer odometer_;
  PaceEstimator pace_;
  EntryFinder entryFinder_;  // for the published timing table
  uint32_t lastScoringTick_;
  char currentTrackName_[64] = {};
  char currentVehicleName_[64] = {};
};

// The module's log, or null before the first plugin object.
PluginLog* pluginLog();

}  // namespace korvanel

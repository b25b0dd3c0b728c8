// The two ways the substitute host drives a plugin: a live race from the
// model, or a replay of a recording.
#pragma once

#include <functional>
#include <string>

#include "tools/host/host_calls.h"
#include "tools/race/race_model.h"
#include "tools/recording/recording.h"

namespace korvanel::tools {

struct RunSettings {
  double telemetryRate = 90.0;  // per second of the run
  double scoringRate = 5.0;
  double speed = 1.0;        // run seconds per wall-clock second
  bool fast = false;         // as fast as possible
  std::string holdFile;      // after the race, keep updating while it exists
  double holdLimit = 600.0;  // wall-clock seconds at most
  bool quiet = false;
};

// Runs the whole session: startup, session start, realtime entry, the
// updates, a last scoring and telemetry record of the stopped field, the
// hold, realtime exit, session end and shutdown. `calls` receives
// everything (plugin and recording); `plugin` alone receives the repeated
// records of the hold. `finished` runs once the race is over, before the
// hold.
void runRace(RaceModel& model, HostCalls& calls, HostCalls& plugin, const RunSettings& settings,
             const std::function<void()>& finished);

// Replays a verified recording into `plugin`, at the recorded pace divided
// by the speed factor, or as fast as possible; holds at the hold mark.
// False with `error` when the recording turns out damaged.
bool runReplay(RecordReader& reader, HostCalls& plugin, const RunSettings& settings,
               std::string& error);

}  // namespace korvanel::tools

// The telemetry update cycle: the plugin's fast path, about 90 times a
// second on the host's thread. It allocates nothing and logs nothing, but
// for the odometer's save once a minute while driving, which it hands to a
// thread of its own.
#include <cstring>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/publish_scope.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "telemetry/telemetry_steps.h"
#include "text/bytes.h"

namespace korvanel {
namespace {

// Carries out a distance reset command left in the block by a display
// program, once: the byte is cleared in both copies of the state record.
// The reset takes effect at once; the file follows within a second, so a
// display that keeps the byte set cannot make every call rewrite the file.
void runOdometerCommand(uint8_t command, SharedBlock& block, HostState& state, Odometer& odometer,
                        uint32_t now) {
  if (command == kResetVehicleDistance) {
    odometer.vehicleTotal = 0.0;
  } else if (command == kResetTrackDistance) {
    odometer.trackTotal = 0.0;
  } else {
    return;
  }
  odometer.add(0.0);
  odometer.saveSoon(now);
  block.state.distanceResetCommand = 0;
  state.distanceResetCommand = 0;
}

}  // namespace

void RenderPlugin::runTelemetryUpdate(const HostTelemetry* record) {
  if (record == nullptr) return;
  const HostTelemetry& telemetry = *record;
  HostState& state = hostState();
  PublishScope scope(PublishScope::Kind::kUpdate);
  SharedBlock* block = scope.block();
  // Wraps rather than overflows: the count comes back from the block, where
  // any program may have written any value.
  countUpdate(state);

  CycleState& cycle = cycleState();
  bool lapChanged = telemetry.lapNumber != cycle.previousLapNumber;
  cycle.previousLapNumber = telemetry.lapNumber;

  TelemetryInfoV2& info = publishedTelemetry();
  copyBlock(&info.telemetry, &telemetry, sizeof(HostTelemetry));

  ScoringInfoV2& scoring = publishedScoring();
  // One reading for the lap-time estimate and the dead reckoning; the
  // unsigned difference stays right across a wrap of the tick counter.
  uint32_t now = platform::tickCount();
  uint32_t elapsedMs = static_cast<uint32_t>(now - lastScoringTick_);
  info.estimatedLapTime = estimateLapTime(scoring, telemetry, elapsedMs);

  copyBounded(currentVehicleName_, sizeof currentVehicleName_, telemetry.vehicleName);
  state.dataUpdated = 1;

  double distance = stepDistance(telemetry);
  const DisplayCommands& commands = scope.commands();
  // From the command's clearing, the first write into the block, to the
  // copy out at the end.
  scope.beginWrites();
  if (block) runOdometerCommand(commands.distanceReset, *block, state, odometer_, now);
  odometer_.add(distance);
  // A save that failed or had to wait, once its second has passed; while
  // driving, the save once a minute.
  odometer_.saveIfDue(now);
  state.vehicleDistance = odometer_.vehicleTotal;
  state.vehicleTrackDistance = odometer_.trackTotal;

  runKersTimer(state.kersRemaining, KersSwitches{commands.kersTimerOn, commands.kersRunning},
               telemetry.deltaTime, lapChanged, scoring,
               PluginConfig::instance(pluginLog()).kersTime);

  // Moved and copied into the block in one pass over the entries.
  deadReckon(scoring, telemetry, elapsedMs, block ? &block->scoring : nullptr);
  state.timeSinceScoring =
      static_cast<float>(state.timeSinceScoring + usableDeltaTime(telemetry.deltaTime));
  if (block) copyBlock(&block->telemetry, &info, sizeof(TelemetryInfoV2));
}

}  // namespace korvanel

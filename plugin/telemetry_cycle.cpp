// The telemetry update cycle: the plugin's fast path, about 90 times a
// second on the host's thread. It allocates nothing and logs nothing, but
// for the odometer's save once a minute while driving, which it hands to a
// thread of its own.
#include <cstring>

#include "platform/platform.h"
#include "plugin/host_boundary.h"
#include "plugin/render_plugin.h"
#include "publish/publish_scope.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "telemetry/telemetry_steps.h"
#include "text/bytes.h"

namespace korvanel {

void RenderPlugin::updateTelemetry(const HostTelemetry* record) {
  hostCall("telemetry update", [&] {
    if (record == nullptr) return;
    const HostTelemetry& telemetry = *record;
    HostState& state = hostState();
    PublishScope scope(PublishScope::Kind::kUpdate);
    SharedBlock* block = scope.block();
    // Wraps rather than overflows: the count comes back from the block,
    // where any program may have written any value.
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
    // A distance reset left in the block by a display program is carried
    // out once: the byte is cleared in both copies of the state record. The
    // reset takes effect at once; the file follows within a second, so a
    // display that keeps the byte set cannot make every call rewrite it.
    const uint8_t reset = commands.distanceReset;
    if (block && (reset == kResetVehicleDistance || reset == kResetTrackDistance)) {
      (reset == kResetVehicleDistance ? odometer_.vehicleTotal : odometer_.trackTotal) = 0.0;
      odometer_.add(0.0);
      odometer_.saveSoon(now);
      block->state.distanceResetCommand = state.distanceResetCommand = 0;
    }
    odometer_.add(distance);
    // A save that failed or had to wait, once its second has passed; while
    // driving, the save once a minute.
    odometer_.saveIfDue(now);
    state.vehicleDistance = odometer_.vehicleTotal;
    state.vehicleTrackDistance = odometer_.trackTotal;

    runKersTimer(state.kersRemaining, commands.kersTimerOn, commands.kersRunning,
                 telemetry.deltaTime, lapChanged, scoring,
                 PluginConfig::instance(pluginLog()).kersTime);

    // Moved and copied into the block in one pass over the entries.
    deadReckon(scoring, telemetry, elapsedMs, block ? &block->scoring : nullptr);
    state.timeSinceScoring =
        static_cast<float>(state.timeSinceScoring + usableDeltaTime(telemetry.deltaTime));
    if (block) copyBlock(&block->telemetry, &info, sizeof(TelemetryInfoV2));
  });
}

}  // namespace korvanel

// The scoring update cycle: the plugin's slow path, run at every scoring
// record under the data lock, in a fixed order of steps.
#include <cstring>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/publish_scope.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "text/bytes.h"

namespace korvanel {
namespace {

bool positive(double value) { return value > 0.0; }  // NaN is not

bool carriesTimes(const HostVehicle& v) {
  return positive(v.bestLapTime) || positive(v.bestSector1) || positive(v.bestSector2) ||
         positive(v.currentSector1) || positive(v.currentSector2) || positive(v.lastLapTime) ||
         positive(v.lastSector1) || positive(v.lastSector2);
}

// By the difference of ticks, so a session that starts shortly before the
// 32-bit tick counter wraps neither ends its early phase at once nor keeps
// it for the counter's next 49 days.
bool pastEarlyPhase(uint32_t now) {
  return static_cast<uint32_t>(now - cycleState().sessionStartTick) > kEarlyPhaseMs;
}

}  // namespace

void RenderPlugin::scanEarlyTimes(const HostScoring& scoring) {
  // The tick of this update, as in the check that ends the early phase: two
  // readings could straddle the mark and lose the scan for the session.
  if (!cycleState().earlyPhase || !pastEarlyPhase(lastScoringTick_) || scoring.vehicleCount <= 0 ||
      scoring.vehicles == nullptr) {
    return;
  }
  for (int32_t i = 0; i < scoring.vehicleCount; ++i) {
    if (carriesTimes(scoring.vehicles[i])) {
      publishedTimeTable().tail.earlyTimesSeen = 1;
      publishedSectorTimes().earlyTimesSeen = 1;
      return;
    }
  }
}

void RenderPlugin::runScoringUpdate(const HostScoring* record) {
  if (record == nullptr) return;
  const HostScoring& scoring = *record;
  HostState& state = hostState();
  PublishScope scope(PublishScope::Kind::kUpdate);
  SharedBlock* block = scope.block();
  countUpdate(state);

  lastScoringTick_ = platform::tickCount();
  state.dataUpdated = 1;

  const PluginConfig& config = PluginConfig::instance(pluginLog());

  ScoringInfoV2& info = publishedScoring();
  carSlots_.beginPass();
  scoringWriter_.attach(&info, &carSlots_);
  scoringWriter_.fillFromHost(scoring);
  scoringWriter_.analyse(config, scope.commands().selectedClassRow);

  bool playerPresent = info.playerIndex != -1;
  state.noPlayerVehicle = playerPresent ? 0 : 1;
  state.playerPlace = info.playerPlace;
  state.playerIndex = info.playerIndex;

  TelemetryInfoV2& telemetry = publishedTelemetry();
  pace_.update(telemetry, info);
  pace_.publishTo(telemetry);

  state.timeSinceScoring = 0.0f;
  state.inRealtime |= scoring.realtimeFlag;

  copyBounded(currentTrackName_, sizeof currentTrackName_, scoring.trackName);
  odometer_.select(currentVehicleName_, currentTrackName_);
  // At most one write a second: a host outside realtime sends several
  // scoring updates a second, and each would rewrite the file.
  if (playerPresent && scoring.realtimeFlag == 0) odometer_.saveSoon(lastScoringTick_);

  scoringClockReset() = 1;

  TimeTable& timeTable = publishedTimeTable();
  timeTable.trackTopSpeeds(scoring, entryFinder_);
  timeTable.copyTopSpeeds(info, entryFinder_, scoring.vehicles, scoringWriter_.hostIndexOfEntry());
  scanEarlyTimes(scoring);
  timeTable.republishFastestLap(cycleState().earlyPhase, timeTable.update(scoring, entryFinder_));
  publishedSectorTimes().update(scoring);

  if (block) {
    scope.beginWrites();
    scoringWriter_.copyTo(&block->scoring);
    copyBlock(&block->timeTable, &timeTable, sizeof(TimeTable));
    std::memcpy(&block->sectorTimes, &publishedSectorTimes(), sizeof(AbsoluteSectorTimes));
    block->scoringPublished = 1;
  }

  if (cycleState().earlyPhase && pastEarlyPhase(lastScoringTick_)) {
    cycleState().earlyPhase = false;
  }
}

}  // namespace korvanel

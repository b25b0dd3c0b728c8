// The scoring update: the plugin's slow path, run at every scoring record
// under the data lock, as the four passes numbered below in a fixed order.
#include <cstring>

#include "platform/platform.h"
#include "plugin/host_boundary.h"
#include "plugin/render_plugin.h"
#include "publish/publish_scope.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "scoring/scoring_block.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "text/bytes.h"
#include "timing/host_values.h"

namespace korvanel {
namespace {

constexpr uint32_t kEarlyPhaseMs = 5000;

bool positive(double value) { return value > 0.0; }  // NaN is not

bool carriesTimes(const HostVehicle& v) {
  return positive(v.bestLapTime) || positive(v.bestSector1) || positive(v.bestSector2) ||
         positive(v.currentSector1) || positive(v.currentSector2) || positive(v.lastLapTime) ||
         positive(v.lastSector1) || positive(v.lastSector2);
}

}  // namespace

void RenderPlugin::updateScoring(const HostScoring* record) {
  hostCall("scoring update", [&] {
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
    TimeTable& timeTable = publishedTimeTable();
    AbsoluteSectorTimes& sectorTimes = publishedSectorTimes();

    // 1. The host's array in host order: each car's timing entry's top speed
    // raised, its sector offered to the records. The first update past the
    // early phase ends it and scans for early times; one tick reading, as
    // two could straddle the mark, compared by difference, so that a session
    // starting just before the 32-bit counter wraps neither ends its phase
    // at once nor keeps it for 49 days.
    carSlots_.beginPass();
    const int count = hostVehicleCount(scoring);
    const bool endsEarlyPhase =
        cycleState().earlyPhase &&
        static_cast<uint32_t>(lastScoringTick_ - cycleState().sessionStartTick) > kEarlyPhaseMs;
    bool earlyTimes = false;
    float speeds[kMaxVehicles];  // for the timing table's pass
    for (int i = 0; i < count; ++i) {
      const HostVehicle& v = scoring.vehicles[i];
      float speed = trackTopSpeed(timeTable, i, v, entryFinder_);
      if (i < kMaxVehicles) speeds[i] = speed;
      sampleSectorRecords(sectorTimes, v);
      earlyTimes |= endsEarlyPhase && carriesTimes(v);
    }
    if (earlyTimes) {
      timeTable.earlyTimesSeen = 1;
      sectorTimes.earlyTimesSeen = 1;
    }

    // 2. The entries in race order, each with its timing entry's top speed;
    // the state record, pace and odometer follow from the block.
    RaceOrder order;
    orderRace(scoring, &carSlots_, order);
    float topSpeeds[kMaxVehicles];
    for (int i = 0; i < order.count; ++i) {
      // Found in pass 1 through the same slot: no search.
      const int32_t h = order.hostIndex[i];
      int k = entryFinder_.find(timeTable, h, scoring.vehicles[h]);
      topSpeeds[i] = k >= 0 ? timeTable.entries[k].topSpeed : 0.0f;
    }
    fillScoringEntries(info, scoring, order, topSpeeds);
    analyseField(info, config, scope.commands().selectedClassRow, &carSlots_, order.slot);

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

    // 3. The timing table: each driver's entry, then the fastest lap's two
    // publication steps.
    int fastest = updateTimeTable(timeTable, scoring, entryFinder_, speeds);
    republishFastestLap(timeTable, cycleState().earlyPhase, fastest);

    // 4. Publication into the shared block.
    if (block) {
      scope.beginWrites();
      copyBlock(&block->scoring, &info, sizeof(ScoringInfoV2));
      copyBlock(&block->timeTable, &timeTable, sizeof(TimeTable));
      std::memcpy(&block->sectorTimes, &sectorTimes, sizeof(AbsoluteSectorTimes));
      block->scoringPublished = 1;
    }
    if (endsEarlyPhase) cycleState().earlyPhase = false;
  });
}

}  // namespace korvanel

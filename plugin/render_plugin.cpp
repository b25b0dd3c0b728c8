// Construction, destruction and the lifecycle calls of the plugin object,
// each run guarded at the host's edge (plugin/host_boundary.h).
#include "plugin/render_plugin.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "plugin/host_boundary.h"
#include "publish/block_write.h"
#include "publish/data_lock.h"
#include "publish/publish_scope.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"

namespace korvanel {
namespace {

PluginLog* gLog = nullptr;

// The lifecycle calls' table of state-record values; -1 in `playerPlace`
// and `playerIndex` as tabled.
void resetStateForLifecycle(HostState& s, uint8_t shutDownAndClosed) {
  s.sessionActive = s.trackLoaded = s.inRealtime = s.dataUpdated = 0;
  s.distanceResetCommand = s.selectedClassRow = s.kersTimerOn = s.kersRunning = 0;
  s.noPlayerVehicle = 1;
  s.playerPlace = s.playerIndex = -1;
  s.updateCount = 0;
  s.timeSinceScoring = s.kersRemaining = 0.0f;
  s.vehicleDistance = s.vehicleTrackDistance = 0.0;
  s.shutDown = s.closed = shutDownAndClosed;
}

}  // namespace

CycleState& cycleState() {
  static CycleState state;
  return state;
}

PluginLog* pluginLog() { return gLog; }

RenderPlugin::RenderPlugin() : entryFinder_(carSlots_), lastScoringTick_(platform::tickCount()) {
  delete gLog;
  gLog = new PluginLog("Plugins\\KORVANEL\\KORVANEL.log.txt");
  odometer_.setLog(gLog);
  initDataLock();
  if (PluginConfig::instance(gLog).sharedBlockEnabled) createSharedBlock(gLog);
  entryFinder_.rebuild(publishedTimeTable());
}

RenderPlugin::~RenderPlugin() {
  releaseSharedBlock();
  delete gLog;
  gLog = nullptr;
}

void* RenderPlugin::destroy(uint32_t flags) {
  runGuarded("destruction", [&] {
    if (flags & 1u) {
      delete this;
    } else {
      this->~RenderPlugin();
    }
  });
  return this;
}

void RenderPlugin::startup(int32_t) {
  hostCall("startup", [&] {
    if (gLog) gLog->write("--- Korvanel Startup ---");
    resetStateForLifecycle(hostState(), 0);
    odometer_.reset();
    BlockWrite write(sharedBlock());
    copyStateOut();
  });
}

void RenderPlugin::shutdown() {
  hostCall("shutdown", [&] {
    if (gLog) gLog->write("--- Korvanel Shutdown ---");
    resetStateForLifecycle(hostState(), 1);
    BlockWrite write(sharedBlock());
    copyStateOut();
  });
}

void RenderPlugin::startSession() {
  hostCall("session start", [&] {
    // Held across the resets too, so that an in-process reader never sees a
    // half-cleared table; bounded, so that a reader cannot stall the host.
    PublishScope scope(PublishScope::Kind::kSessionStart);
    HostState& s = hostState();
    s.sessionActive = s.trackLoaded = s.noPlayerVehicle = 1;
    s.inRealtime = s.dataUpdated = s.kersRunning = 0;
    s.kersRemaining = PluginConfig::instance(gLog).kersTime;

    resetTimeTable(publishedTimeTable());
    entryFinder_.rebuild(publishedTimeTable());
    resetSectorRecords(publishedSectorTimes());
    cycleState().earlyPhase = true;
    cycleState().sessionStartTick = platform::tickCount();
    odometer_.reset();
    pace_.reset();

    if (SharedBlock* block = scope.block()) {
      scope.beginWrites();
      std::memcpy(&block->timeTable, &publishedTimeTable(), sizeof(TimeTable));
      std::memcpy(&block->sectorTimes, &publishedSectorTimes(), sizeof(AbsoluteSectorTimes));
    }
  });
}

void RenderPlugin::endSession() {
  hostCall("session end", [&] {
    odometer_.save();
    odometer_.reset();
    resetStateForLifecycle(hostState(), 0);
    PublishScope scope(PublishScope::Kind::kSessionEnd);
  });
}

void RenderPlugin::enterRealtime() {
  hostCall("realtime entry", [&] { setRealtime(1); });
}

void RenderPlugin::exitRealtime() {
  hostCall("realtime exit", [&] { setRealtime(0); });
}

void RenderPlugin::setRealtime(uint8_t value) {
  if (SharedBlock* block = sharedBlock()) {
    BlockWrite write(block);
    hostState().inRealtime = value;
    block->state.inRealtime = value;
  }
}

}  // namespace korvanel

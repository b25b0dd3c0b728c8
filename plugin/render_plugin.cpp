// Construction, destruction and the lifecycle calls of the plugin object.
#include "plugin/render_plugin.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/plugin_log.h"
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
  s.sessionActive = 0;
  s.trackLoaded = 0;
  s.inRealtime = 0;
  s.noPlayerVehicle = 1;
  s.playerPlace = -1;
  s.playerIndex = -1;
  s.timeSinceScoring = 0.0f;
  s.updateCount = 0;
  s.dataUpdated = 0;
  s.vehicleDistance = 0.0;
  s.vehicleTrackDistance = 0.0;
  s.distanceResetCommand = 0;
  s.shutDown = shutDownAndClosed;
  s.selectedClassRow = 0;
  s.kersTimerOn = 0;
  s.kersRunning = 0;
  s.kersRemaining = 0.0f;
  s.closed = shutDownAndClosed;
}

}  // namespace

CycleState& cycleState() {
  static CycleState state;
  return state;
}

PluginLog* pluginLog() { return gLog; }

RenderPlugin::RenderPlugin() : entryFinder_(carSlots_), lastScoringTick_(platform::tickCount()) {
  currentTrackName_[0] = 0;
  currentVehicleName_[0] = 0;
  char path[260];
  std::snprintf(path, sizeof path, "Plugins\\%s\\%s.log.txt", "KORVANEL", "KORVANEL");
  delete gLog;
  gLog = new PluginLog(path);
  odometer_.setLog(gLog);
  initDataLock();
  PluginConfig& config = PluginConfig::instance(gLog);
  if (config.sharedBlockEnabled) createSharedBlock(gLog);
  entryFinder_.rebuild(publishedTimeTable());
}

RenderPlugin::~RenderPlugin() {
  releaseSharedBlock();
  delete gLog;
  gLog = nullptr;
}

void RenderPlugin::runStartup() {
  if (gLog) gLog->write("--- Korvanel Startup ---");
  resetStateForLifecycle(hostState(), 0);
  odometer_.reset();
  BlockWrite write(sharedBlock());
  copyStateOut();
}

void RenderPlugin::runShutdown() {
  if (gLog) gLog->write("--- Korvanel Shutdown ---");
  resetStateForLifecycle(hostState(), 1);
  BlockWrite write(sharedBlock());
  copyStateOut();
}

void RenderPlugin::runStartSession() {
  // Held across the resets too, so that an in-process reader never sees a
  // half-cleared table; bounded, so that a reader cannot stall the host.
  PublishScope scope(PublishScope::Kind::kSessionStart);
  HostState& s = hostState();
  s.sessionActive = 1;
  s.trackLoaded = 1;
  s.inRealtime = 0;
  s.noPlayerVehicle = 1;
  s.dataUpdated = 0;
  s.kersRunning = 0;
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
}

void RenderPlugin::runEndSession() {
  odometer_.save();
  odometer_.reset();
  resetStateForLifecycle(hostState(), 0);
  PublishScope scope(PublishScope::Kind::kSessionEnd);
}

void RenderPlugin::setRealtime(uint8_t value) {
  if (SharedBlock* block = sharedBlock()) {
    BlockWrite write(block);
    hostState().inRealtime = value;
    block->state.inRealtime = value;
  }
}

}  // namespace korvanel

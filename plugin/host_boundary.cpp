// The host's calls of the plugin object: each one runs its work guarded, so
// that no exception crosses into the host, and first makes sure that the
// shared objects it is about to touch are whole.
#include "plugin/host_boundary.h"

#include <atomic>
#include <cstdio>

#include "platform/plugin_log.h"
#include "plugin/render_plugin.h"
#include "publish/shared_block.h"

namespace korvanel {
namespace {

// Calls that met an exception already; the few call kinds fit.
constexpr int kNotedCalls = 16;
std::atomic<const char*> gNoted[kNotedCalls];

bool firstTimeFor(const char* call) {
  for (auto& slot : gNoted) {
    const char* seen = slot.load();
    if (seen == call) return false;
    if (seen == nullptr) {
      const char* expected = nullptr;
      if (slot.compare_exchange_strong(expected, call)) return true;
      if (expected == call) return false;
    }
  }
  return false;  // more kinds than slots: stay quiet rather than flood
}

// Every host call but destruction touches the shared objects, so each one
// first makes sure that they are whole, inside the same guard.
template <typename Work>
void hostCall(const char* call, Work&& work) noexcept {
  runGuarded(call, [&] {
    keepSharedBlockWhole();
    work();
  });
}

}  // namespace

void noteEscapedException(const char* call, const char* what) noexcept {
  if (!firstTimeFor(call)) return;
  if (PluginLog* log = pluginLog()) {
    char line[256];
    std::snprintf(line, sizeof line, "ERROR exception in %s: ", call);
    log->write(line, what ? what : "");
  }
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
  hostCall("startup", [&] { runStartup(); });
}

void RenderPlugin::shutdown() {
  hostCall("shutdown", [&] { runShutdown(); });
}

void RenderPlugin::startSession() {
  hostCall("session start", [&] { runStartSession(); });
}

void RenderPlugin::endSession() {
  hostCall("session end", [&] { runEndSession(); });
}

void RenderPlugin::enterRealtime() {
  hostCall("realtime entry", [&] { setRealtime(1); });
}

void RenderPlugin::exitRealtime() {
  hostCall("realtime exit", [&] { setRealtime(0); });
}

void RenderPlugin::updateScoring(const HostScoring* scoring) {
  hostCall("scoring update", [&] { runScoringUpdate(scoring); });
}

void RenderPlugin::updateTelemetry(const HostTelemetry* telemetry) {
  hostCall("telemetry update", [&] { runTelemetryUpdate(telemetry); });
}

}  // namespace korvanel

// Noting the exceptions that the host calls stop at the edge.
#include "plugin/host_boundary.h"

#include <atomic>
#include <cstdio>

#include "platform/plugin_log.h"
#include "plugin/render_plugin.h"

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

}  // namespace

void noteEscapedException(const char* call, const char* what) noexcept {
  if (!firstTimeFor(call)) return;
  if (PluginLog* log = pluginLog()) {
    char line[256];
    std::snprintf(line, sizeof line, "ERROR exception in %s: ", call);
    log->write(line, what ? what : "");
  }
}

}  // namespace korvanel

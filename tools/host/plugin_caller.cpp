// Calls through the plugin object's table by position. On 32-bit Windows
// the methods are thiscall (the object in ECX); on the Itanium C++ ABI the
// object is the first argument. Either way the pointer types below say it,
// so one code path serves both.
#include "tools/host/plugin_caller.h"

#include "tools/platform/tool_platform.h"

#if defined(_WIN32) && defined(__i386__)
#define KORVANEL_METHOD __attribute__((thiscall))
#else
#define KORVANEL_METHOD
#endif

namespace korvanel::tools {
namespace {

// Positions in the table, as the host numbers them.
enum Slot : int {
  kDestroy = 0,
  kStartup = 1,
  kShutdown = 2,
  kStartSession = 5,
  kEndSession = 6,
  kEnterRealtime = 7,
  kExitRealtime = 8,
  kWantsScoring = 9,
  kUpdateScoring = 10,
  kWantsTelemetry = 11,
  kUpdateTelemetry = 12,
};

using VoidMethod = void(KORVANEL_METHOD*)(void*);
using IntArgMethod = void(KORVANEL_METHOD*)(void*, int32_t);
using BoolQuery = bool(KORVANEL_METHOD*)(void*);
using IntQuery = int32_t(KORVANEL_METHOD*)(void*);
using ScoringMethod = void(KORVANEL_METHOD*)(void*, const HostScoring*);
using TelemetryMethod = void(KORVANEL_METHOD*)(void*, const HostTelemetry*);
using DestroyMethod = void*(KORVANEL_METHOD*)(void*, uint32_t);

template <typename Fn>
Fn slot(void** table, int index) {
  return reinterpret_cast<Fn>(table[index]);
}

template <typename Fn>
void resolve(void* library, const char* name, Fn& out, std::string& missing) {
  out = reinterpret_cast<Fn>(findSymbol(library, name));
  if (out == nullptr && missing.empty()) missing = name;
}

}  // namespace

PluginCaller::~PluginCaller() { unload(); }

bool PluginCaller::load(const std::string& path, std::string& error) {
  std::string reason;
  library_ = openLibrary(path, reason);
  if (library_ == nullptr) {
    error = "cannot load the plugin library " + path + ": " + reason;
    return false;
  }
  std::string missing;
  resolve(library_, "GetPluginName", getName_, missing);
  resolve(library_, "GetPluginType", getType_, missing);
  resolve(library_, "GetPluginVersion", getVersion_, missing);
  resolve(library_, "CreatePluginObject", create_, missing);
  resolve(library_, "DestroyPluginObject", destroy_, missing);
  if (!missing.empty()) {
    error = "the plugin library " + path + " does not export " + missing;
    closeLibrary(library_);
    library_ = nullptr;
    return false;
  }
  return true;
}

bool PluginCaller::create() {
  handle_ = create_();
  return handle_ != nullptr;
}

std::string PluginCaller::name() const {
  const char* text = getName_();
  return text ? text : "";
}
int32_t PluginCaller::type() const { return getType_(); }
int32_t PluginCaller::version() const { return getVersion_(); }

// The handle is the object's root part, which lies just past the table
// pointer because the root class has no table of its own.
void* PluginCaller::object() const { return static_cast<char*>(handle_) - sizeof(void*); }

void** PluginCaller::table() const { return *static_cast<void***>(object()); }

void PluginCaller::startup(int32_t value) {
  slot<IntArgMethod>(table(), kStartup)(object(), value);
}
void PluginCaller::shutdown() { slot<VoidMethod>(table(), kShutdown)(object()); }
void PluginCaller::startSession() { slot<VoidMethod>(table(), kStartSession)(object()); }
void PluginCaller::endSession() { slot<VoidMethod>(table(), kEndSession)(object()); }
void PluginCaller::enterRealtime() { slot<VoidMethod>(table(), kEnterRealtime)(object()); }
void PluginCaller::exitRealtime() { slot<VoidMethod>(table(), kExitRealtime)(object()); }
bool PluginCaller::wantsScoring() { return slot<BoolQuery>(table(), kWantsScoring)(object()); }
int32_t PluginCaller::wantsTelemetry() {
  return slot<IntQuery>(table(), kWantsTelemetry)(object());
}
void PluginCaller::updateScoring(const HostScoring& scoring) {
  slot<ScoringMethod>(table(), kUpdateScoring)(object(), &scoring);
}
void PluginCaller::updateTelemetry(const HostTelemetry& telemetry) {
  slot<TelemetryMethod>(table(), kUpdateTelemetry)(object(), &telemetry);
}

void PluginCaller::destroy(bool throughTable) {
  if (handle_ == nullptr) return;
  if (throughTable) {
    slot<DestroyMethod>(table(), kDestroy)(object(), 1u);
  } else {
    destroy_(handle_);
  }
  handle_ = nullptr;
}

void PluginCaller::unload() {
  destroy(false);
#if defined(__SANITIZE_ADDRESS__)
  // The plugin's configuration object lives until the process ends, by
  // design; unmapping the library would make the leak checker report it.
  library_ = nullptr;
#else
  closeLibrary(library_);
  library_ = nullptr;
#endif
}

}  // namespace korvanel::tools

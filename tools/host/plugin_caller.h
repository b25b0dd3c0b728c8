// Loads a plugin library and drives its object the way the host does: the
// five exports, then the object's methods called through its table by
// position, never through the project's class declarations.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_records.h"

namespace korvanel::tools {

class PluginCaller {
 public:
  PluginCaller() = default;
  ~PluginCaller();
  PluginCaller(const PluginCaller&) = delete;
  PluginCaller& operator=(const PluginCaller&) = delete;

  // Loads the library and resolves the five exports. On failure returns
  // false and `error` says which step failed (the path, or the missing
  // export's name).
  bool load(const std::string& path, std::string& error);
  // Creates the plugin object. False when the plugin returned no object.
  bool create();

  std::string name() const;
  int32_t type() const;
  int32_t version() const;

  void startup(int32_t value);
  void shutdown();
  void startSession();
  void endSession();
  void enterRealtime();
  void exitRealtime();
  bool wantsScoring();
  void updateScoring(const HostScoring& scoring);
  int32_t wantsTelemetry();
  void updateTelemetry(const HostTelemetry& telemetry);

  // Destroys the object through DestroyPluginObject, or through slot 0 of
  // its table (deleting destructor, flags 1) when `throughTable` is set.
  void destroy(bool throughTable);
  // Unloads the library; destroys the object first if it still exists.
  void unload();

  bool hasObject() const { return handle_ != nullptr; }

 private:
  void** table() const;
  void* object() const;

  void* library_ = nullptr;
  void* handle_ = nullptr;  // what CreatePluginObject returned
  const char* (*getName_)() = nullptr;
  int32_t (*getType_)() = nullptr;
  int32_t (*getVersion_)() = nullptr;
  void* (*create_)() = nullptr;
  void (*destroy_)(void*) = nullptr;
};

}  // namespace korvanel::tools

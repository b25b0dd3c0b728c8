// The plugin's settings, read once per process from its configuration file:
// the team list, the class rows and the KERS time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvanel {

class PluginLog;

constexpr int kClassRows = 22;
constexpr int kClassSlots = 16;  // slot 0 is the row's label
constexpr const char* kConfigPath = "Plugins\\KORVANEL\\korvanelconf.txt";
constexpr const char* kRealtimeModeToken = "$$REALTIME_MODE$$";

// Largest configuration file read: a longer one is refused unread (one log
// line) and every value takes its default.
constexpr size_t kMaxConfigFileSize = 1u << 20;

// The range of KersTime in seconds; a value outside it (or not a number) is
// clamped into it and logged.
constexpr float kMinKersTime = 0.0f;
constexpr float kMaxKersTime = 60.0f;

class PluginConfig {
 public:
  PluginConfig();
  PluginConfig(const PluginConfig&) = delete;
  PluginConfig& operator=(const PluginConfig&) = delete;

  // The one configuration of the process. The first call loads it from
  // kConfigPath, logging to `log` (may be null); later calls return the same
  // object. It is never freed.
  static PluginConfig& instance(PluginLog* log = nullptr);
  // Tests put their own configuration in place; null goes back to the real one.
  static void setInstanceForTesting(PluginConfig* config);

  // The loading steps, from the host path `path`. The file is read once,
  // in UTF-8 or in UTF-16 with its byte order mark.
  void load(const char* path, PluginLog* log);

  // Pattern `slot` (1 to 15) of `row`, or null where the row ends. Rows
  // outside the table (a display may ask for any byte) have no patterns.
  const char* pattern(int row, int slot) const {
    if (row < 0 || row >= kClassRows || slot < 0 || slot >= kClassSlots) return nullptr;
    return classRows[row][slot];
  }

  char configPath[260] = {};
  bool sharedBlockEnabled = true;
  bool realtimeMode = false;
  std::vector<std::string> teamMembers;
  const char* classRows[kClassRows][kClassSlots];  // null ends a row
  float kersTime = 6.7f;

 private:
  void clearRows();
  std::string rowStorage_[kClassRows][kClassSlots];  // what classRows point at, rows 1 on
};

}  // namespace korvanel

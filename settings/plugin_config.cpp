// Loading of the configuration file.
#include "settings/plugin_config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "settings/ini_file.h"
#include "settings/profile.h"
#include "text/ascii_text.h"

namespace korvanel {
namespace {

PluginConfig* gTestInstance = nullptr;

// strtok's splitting without its hidden state: runs of separators count as
// one and no empty token comes out. Stops when `visit` returns false.
template <typename Visit>
void forEachToken(std::string_view text, const char* separators, Visit visit) {
  size_t begin = text.find_first_not_of(separators);
  while (begin != std::string_view::npos) {
    size_t end = std::min(text.find_first_of(separators, begin), text.size());
    if (!visit(text.substr(begin, end - begin))) return;
    begin = text.find_first_not_of(separators, end);
  }
}

std::string trimmed(std::string_view token, const char* blanks) {
  size_t begin = token.find_first_not_of(blanks);
  if (begin == std::string_view::npos) return "";
  return std::string(token.substr(begin, token.find_last_not_of(blanks) + 1 - begin));
}

}  // namespace

PluginConfig::PluginConfig() { clearRows(); }

PluginConfig& PluginConfig::instance(PluginLog* log) {
  if (gTestInstance) return *gTestInstance;
  static PluginConfig* config = [log] {
    auto* c = new PluginConfig;
    c->load(kConfigPath, log);
    return c;
  }();
  return *config;
}

void PluginConfig::setInstanceForTesting(PluginConfig* config) { gTestInstance = config; }

void PluginConfig::clearRows() {
  for (auto& row : classRows) std::fill(std::begin(row), std::end(row), nullptr);
  classRows[0][0] = "ALL";
  classRows[0][1] = "*";
}

void PluginConfig::load(const char* path, PluginLog* log) {
  teamMembers.clear();
  std::snprintf(configPath, 255, "%s", path);
  if (log) log->write("Configuration File: ", configPath);
  sharedBlockEnabled = true;
  realtimeMode = false;

  // Read once for all keys: a large file read again per key stalled the
  // host's loading for seconds.
  std::string text;
  int32_t code = 0;
  char native[1024];
  platform::hostPath(configPath, native, sizeof native);
  FileRead read = readIniFile(native, kMaxConfigFileSize, text, code);
  decodeUtf16(text);
  if (read == FileRead::kTooLarge && log) {
    log->write("ERROR Configuration File larger than the limit, defaults used: ",
               static_cast<int32_t>(kMaxConfigFileSize));
  } else if (read == FileRead::kFailed && log) {
    log->write("ERROR Configuration File read, defaults used: ", code);
  }
  char value[kProfileBufferSize];
  // Whether the key is there at all: a key with an empty value is there.
  auto lookUp = [&](const char* section, const char* key) {
    std::memset(value, 0, sizeof value);
    return findIniValue(text, section, key, value, sizeof value);
  };
  lookUp("GENERAL", "TeamMembers");
  forEachToken(value, ",;\n\t", [this](std::string_view token) {
    std::string name = trimmed(token, " ");
    if (equalsIgnoreCase(name.c_str(), kRealtimeModeToken)) {
      realtimeMode = true;
    } else {
      teamMembers.push_back(std::move(name));
    }
    return true;
  });

  clearRows();
  int row = 1;
  for (int k = 0; k <= 20 && row < kClassRows; ++k) {
    char key[32];
    std::snprintf(key, sizeof key, "Grid_Classes%d", k);
    lookUp("HUD", key);
    if (value[0] == 0) continue;
    if (log) log->write("keyClass ", key);
    int slot = 0;
    forEachToken(value, ",;", [&](std::string_view token) {
      std::string pattern = trimmed(token, " \t");
      if (pattern.empty()) return true;
      if (slot > 0) std::transform(pattern.begin(), pattern.end(), pattern.begin(), upperCase);
      rowStorage_[row][slot] = std::move(pattern);
      classRows[row][slot] = rowStorage_[row][slot].c_str();
      return ++slot < kClassSlots;
    });
    ++row;
  }

  // The default stands only for a missing key, as with the system's own
  // profile reader: "KersTime=" reads as 0.
  kersTime = lookUp("HUD", "KersTime") ? static_cast<float>(parseProfileNumber(value)) : 6.7f;
  if (log) log->write("HUD.KersTime ", kersTime);
  // A countdown that never ends, or runs backwards, is no countdown.
  if (!(kersTime >= kMinKersTime) || kersTime > kMaxKersTime) {
    kersTime = kersTime > kMaxKersTime ? kMaxKersTime : kMinKersTime;
    if (log) log->write("ERROR HUD.KersTime out of range, clamped to ", kersTime);
  }
}

}  // namespace korvanel

// Loading of the configuration file.
#include "settings/plugin_config.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "settings/ini_file.h"
#include "settings/profile.h"
#include "settings/text_buffer.h"
#include "text/ascii_text.h"

namespace korvanel {
namespace {

PluginConfig* gTestInstance = nullptr;

// strtok's splitting without its hidden state: runs of separators count as
// one and no empty token comes out. Tokens are cut in place.
template <typename Visit>
void forEachToken(char* text, const char* separators, Visit visit) {
  char* p = text;
  while (*p) {
    p += std::strspn(p, separators);
    if (!*p) break;
    char* end = p + std::strcspn(p, separators);
    bool last = *end == 0;
    *end = 0;
    if (!visit(p)) return;
    if (last) break;
    p = end + 1;
  }
}

}  // namespace

PluginConfig::PluginConfig() {
  configPath[0] = 0;
  clearRows();
}

PluginConfig& PluginConfig::instance(PluginLog* log) {
  if (gTestInstance) return *gTestInstance;
  static PluginConfig* config = [log] {
    auto* c = new PluginConfig;
    char path[255];
    std::snprintf(path, sizeof path, kConfigPathFormat, "Plugins\\", "KORVANEL");
    c->load(path, log);
    return c;
  }();
  return *config;
}

void PluginConfig::setInstanceForTesting(PluginConfig* config) { gTestInstance = config; }

void PluginConfig::clearRows() {
  for (int r = 0; r < kClassRows; ++r) {
    for (int s = 0; s < kClassSlots; ++s) {
      rowStorage_[r][s].clear();
      classRows[r][s] = nullptr;
    }
  }
  rowStorage_[0][0] = "ALL";
  rowStorage_[0][1] = "*";
  classRows[0][0] = rowStorage_[0][0].c_str();
  classRows[0][1] = rowStorage_[0][1].c_str();
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
  forEachToken(value, ",;\n\t", [this](char* token) {
    while (*token == ' ') ++token;
    size_t len = std::strlen(token);
    while (len > 0 && token[len - 1] == ' ') token[--len] = 0;
    if (equalsIgnoreCase(token, kRealtimeModeToken)) {
      realtimeMode = true;
    } else {
      teamMembers.emplace_back(token);
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
    TextBuffer buffer;
    int slot = 0;
    forEachToken(value, ",;", [&](char* token) {
      buffer.assign(token);
      buffer.trim();
      if (buffer.data()[0] == 0) return true;
      if (slot > 0) buffer.toUpper();
      rowStorage_[row][slot] = buffer.data();
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

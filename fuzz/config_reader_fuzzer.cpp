// The configuration reader on arbitrary file contents. Besides surviving,
// the loaded configuration must be well formed (class rows packed, tokens
// trimmed, non-empty, free of separators, patterns upper case; team names
// trimmed and free of separators), and the file reader must read every key
// of the file's bytes exactly as the in-memory reader does.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/ini_probes.h"
#include "fuzz/plugin_harness.h"
#include "settings/ini_file.h"
#include "settings/plugin_config.h"
#include "settings/profile.h"
#include "text/ascii_text.h"

using namespace korvanel;
using namespace korvanel::fuzz;

namespace {

constexpr char kHostPath[] = "Plugins\\KORVANEL\\korvanelconf.txt";
constexpr char kNativePath[] = "Plugins/KORVANEL/korvanelconf.txt";

bool hasAny(const std::string& s, const char* chars) {
  return s.find_first_of(chars) != std::string::npos;
}

// Both readers must agree on whether the key is there and on its value.
void expectSameValue(const std::string& text, const char* section, const char* key) {
  char fromFile[kProfileBufferSize] = "";
  char fromText[kProfileBufferSize] = "";
  bool inFile = readIniValue(kNativePath, section, key, fromFile, sizeof fromFile);
  bool inText = findIniValue(text, section, key, fromText, sizeof fromText);
  if (inFile != inText || std::strcmp(fromFile, fromText) != 0) {
    std::fprintf(stderr, "[%s] %s: file reader %d \"%s\", text reader %d \"%s\"\n", section, key,
                 inFile, fromFile, inText, fromText);
  }
  FUZZ_CHECK(inFile == inText);
  FUZZ_CHECK(std::strcmp(fromFile, fromText) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = enterScratchFolder(nullptr);
  std::FILE* f = std::fopen(kNativePath, "wb");
  FUZZ_CHECK(f != nullptr);
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // The text as the reader takes it: UTF-16 arrives as UTF-8.
  std::string text;
  FUZZ_CHECK(readIniText(kNativePath, text));
  decodeUtf16(text);
  if (size < 2 || !((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    FUZZ_CHECK(text == std::string(reinterpret_cast<const char*>(data), size));
  }

  PluginConfig config;
  config.load(kHostPath, nullptr);

  FUZZ_CHECK(std::strcmp(config.classRows[0][0], "ALL") == 0);
  FUZZ_CHECK(std::strcmp(config.classRows[0][1], "*") == 0);
  for (int row = 1; row < kClassRows; ++row) {
    bool ended = false;
    for (int slot = 0; slot < kClassSlots; ++slot) {
      const char* token = config.classRows[row][slot];
      FUZZ_CHECK(config.pattern(row, slot) == token);
      if (token == nullptr) {
        ended = true;
        continue;
      }
      FUZZ_CHECK(!ended);  // rows are packed from slot 0
      std::string t(token);
      FUZZ_CHECK(!t.empty() && t.size() <= kMaxIniValue);
      FUZZ_CHECK(!hasAny(t, ",;"));
      FUZZ_CHECK(t.front() != ' ' && t.front() != '\t' && t.back() != ' ' && t.back() != '\t');
      if (slot > 0) {
        for (char c : t) FUZZ_CHECK(c == upperCase(c));
      }
    }
  }
  FUZZ_CHECK(config.pattern(kClassRows, 1) == nullptr);
  FUZZ_CHECK(config.pattern(255, 1) == nullptr);
  for (const std::string& name : config.teamMembers) {
    FUZZ_CHECK(!hasAny(name, ",;\n\t"));
    FUZZ_CHECK(name.empty() || (name.front() != ' ' && name.back() != ' '));
    FUZZ_CHECK(!equalsIgnoreCase(name.c_str(), kRealtimeModeToken));
  }

  // KersTime is the leading number of the value, or the default, within
  // its range.
  char kers[kProfileBufferSize] = "";
  float expected = findIniValue(text, "HUD", "KersTime", kers, sizeof kers)
                       ? static_cast<float>(parseProfileNumber(kers))
                       : 6.7f;
  if (!(expected >= kMinKersTime)) expected = kMinKersTime;
  if (expected > kMaxKersTime) expected = kMaxKersTime;
  FUZZ_CHECK(config.kersTime == expected);

  // The file reader takes bytes as they are, UTF-16 or not; only the
  // configuration decodes.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  expectSameValue(bytes, "GENERAL", "TeamMembers");
  expectSameValue(bytes, "HUD", "KersTime");
  for (int k = 0; k <= 20; ++k) {
    char key[32];
    std::snprintf(key, sizeof key, "Grid_Classes%d", k);
    expectSameValue(bytes, "HUD", key);
  }
  for (const Probe& probe : findProbes(bytes, 16)) {
    expectSameValue(bytes, probe.first.c_str(), probe.second.c_str());
  }
  return 0;
}

// The configuration reader on arbitrary file contents. Besides surviving,
// the loaded configuration must be well formed (class rows packed, tokens
// trimmed, non-empty, free of separators, patterns upper case; team names
// trimmed and free of separators), and the file must be read byte for byte.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = enterScratchFolder(nullptr);
  std::FILE* f = std::fopen(kNativePath, "wb");
  FUZZ_CHECK(f != nullptr);
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // The file is read byte for byte; the configuration then takes UTF-16 as
  // UTF-8.
  std::string text;
  FUZZ_CHECK(readIniText(kNativePath, text));
  FUZZ_CHECK(text == std::string(reinterpret_cast<const char*>(data), size));
  decodeUtf16(text);

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
  return 0;
}

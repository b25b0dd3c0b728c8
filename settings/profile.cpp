// Profile reading and writing on top of our INI reader and writer.
#include "settings/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "settings/ini_file.h"

namespace korvanel {
namespace {

constexpr size_t kMaxPath = 1024;

bool readWholeFile(const char* path, std::string& out) {
  out.clear();
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return true;
}

}  // namespace

void readProfileString(const char* path, const char* section, const char* key,
                       const char* defaultText, char* out, size_t outSize) {
  if (outSize == 0) return;
  std::memset(out, 0, outSize);
  char native[kMaxPath];
  platform::hostPath(path, native, sizeof native);
  if (!readIniValue(native, section, key, out, outSize)) {
    std::snprintf(out, outSize, "%s", defaultText ? defaultText : "");
  }
}

float readProfileFloat(const char* path, const char* section, const char* key,
                       float defaultValue) {
  return static_cast<float>(
      readProfileDouble(path, section, key, static_cast<double>(defaultValue)));
}

double readProfileDouble(const char* path, const char* section, const char* key,
                         double defaultValue) {
  char defaultText[kProfileBufferSize];
  std::snprintf(defaultText, sizeof defaultText, "%f", defaultValue);
  char value[kProfileBufferSize - 1];
  readProfileString(path, section, key, defaultText, value, sizeof value);
  return std::atof(value);
}

bool writeProfileString(const char* path, const char* section, const char* key,
                        const char* value) {
  char native[kMaxPath];
  platform::hostPath(path, native, sizeof native);
  std::string text;
  readWholeFile(native, text);
  std::string updated = withIniValue(text, section, key, value);
  return platform::writeFileAtomically(native, updated.data(), updated.size());
}

bool writeProfileFloat(const char* path, const char* section, const char* key,
                       double value) {
  char text[kProfileBufferSize];
  std::snprintf(text, sizeof text, "%f", value);
  return writeProfileString(path, section, key, text);
}

}  // namespace korvanel

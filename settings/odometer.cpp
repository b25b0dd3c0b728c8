// The odometer store: two running totals in memory, loaded once per session
// and written back through the profile helpers.
#include "settings/odometer.h"

#include <cmath>
#include <cstdio>

#include "settings/profile.h"
#include "text/ascii_text.h"

namespace korvanel {
namespace {

constexpr char kVehicleSection[] = "KM";
constexpr char kTrackSection[] = "KM_TRACKS";
constexpr size_t kMaxName = 63;

// "vehicle[track]" of two keys of at most 63 characters each.
constexpr size_t kTrackKeySize = 2 * kMaxName + 3;

void underscoreSpaces(char* name) {
  for (size_t i = 0; i < kMaxName && name[i]; ++i) {
    if (name[i] == ' ') name[i] = '_';
  }
}

// The name as a file key. A character that cannot stand in an INI key
// unchanged ('=', a control character, or '[' / ';' in front) would make the
// key unfindable, so every save would add it anew; it becomes '_' as well.
void copyKey(char* key, size_t keySize, const char* name) {
  copyBounded(key, keySize, name);
  for (size_t i = 0; key[i]; ++i) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (c < 0x20 || c == 0x7f || c == '=' || (i == 0 && (c == '[' || c == ';'))) {
      key[i] = '_';
    }
  }
}

void formTrackKey(char* out, size_t outSize, const char* vehicleKey, const char* trackKey) {
  std::snprintf(out, outSize, "%s[%s]", vehicleKey, trackKey);
}

// A stored total; a damaged value ("abc", "nan", "1e999") counts as 0 for
// this key alone.
double readTotal(const char* path, const char* section, const char* key) {
  double value = readProfileDouble(path, section, key, 0.0);
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace

void Odometer::reset() {
  std::snprintf(filePath, sizeof filePath, "PLUGINS\\%s\\KM.txt", "KORVANEL");
  vehicleKey[0] = 0;
  trackKey[0] = 0;
  vehicleTotal = 0.0;
  trackTotal = 0.0;
  loaded = false;
  dirty = false;
}

void Odometer::select(char* vehicleName, char* trackName) {
  if (loaded) return;
  if (!vehicleName || !trackName || vehicleName[0] == 0 || trackName[0] == 0) return;
  underscoreSpaces(vehicleName);
  underscoreSpaces(trackName);
  copyKey(vehicleKey, sizeof vehicleKey, vehicleName);
  copyKey(trackKey, sizeof trackKey, trackName);

  vehicleTotal = readTotal(filePath, kVehicleSection, vehicleKey);
  char key[kTrackKeySize];
  formTrackKey(key, sizeof key, vehicleKey, trackKey);
  trackTotal = readTotal(filePath, kTrackSection, key);
  loaded = true;
  dirty = false;
}

void Odometer::add(double distance) {
  dirty = true;
  if (!(distance >= 0.0) || !std::isfinite(distance)) return;
  double vehicle = vehicleTotal + distance;
  double track = trackTotal + distance;
  if (std::isfinite(vehicle)) vehicleTotal = vehicle;
  if (std::isfinite(track)) trackTotal = track;
}

void Odometer::save() {
  if (!dirty || vehicleKey[0] == 0 || trackKey[0] == 0) return;
  char vehicleText[kProfileBufferSize];
  char trackText[kProfileBufferSize];
  char key[kTrackKeySize];
  formTrackKey(key, sizeof key, vehicleKey, trackKey);

  // Both totals go into one replacement of the file: a crash between two
  // writes would leave one total new and the other old.
  ProfileEntry entries[2];
  size_t count = 0;
  if (formatProfileFloat(vehicleTotal, vehicleText, sizeof vehicleText)) {
    entries[count++] = {kVehicleSection, vehicleKey, vehicleText};
  }
  if (formatProfileFloat(trackTotal, trackText, sizeof trackText)) {
    entries[count++] = {kTrackSection, key, trackText};
  }
  if (writeProfileStrings(filePath, entries, count)) dirty = false;
}

}  // namespace korvanel

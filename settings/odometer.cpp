// The odometer store: two running totals in memory, loaded once per session
// and written back through the profile helpers.
#include "settings/odometer.h"

#include <cmath>
#include <cstdio>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "settings/ini_file.h"
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
double readTotal(const std::string& text, const char* section, const char* key) {
  char value[kProfileBufferSize];
  if (!findIniValue(text, section, key, value, sizeof value)) return 0.0;
  double total = parseProfileNumber(value);
  return std::isfinite(total) ? total : 0.0;
}

// Totals that reset keeps aside, at most: the few keys of a few sessions.
constexpr size_t kMaxKeptTotals = 64;

}  // namespace

void Odometer::reset() {
  if (saveFailed_ && dirty && vehicleKey[0] != 0 && trackKey[0] != 0 && loaded) {
    // The latest save failed: keep them for the next that succeeds.
    char key[kTrackKeySize];
    char text[kProfileBufferSize];
    formTrackKey(key, sizeof key, vehicleKey, trackKey);
    if (formatProfileFloat(vehicleTotal, text, sizeof text))
      keepAside(kVehicleSection, vehicleKey, text);
    if (formatProfileFloat(trackTotal, text, sizeof text)) keepAside(kTrackSection, key, text);
  }
  std::snprintf(filePath, sizeof filePath, "PLUGINS\\%s\\KM.txt", "KORVANEL");
  vehicleKey[0] = 0;
  trackKey[0] = 0;
  vehicleTotal = 0.0;
  trackTotal = 0.0;
  loaded = false;
  dirty = false;
  refused_ = false;
  unread_ = false;
  saveWanted_ = !kept_.empty();
}

bool Odometer::isKey(const KeptTotal& kept, const char* section, const char* key) {
  return kept.section == section && equalsIgnoreCase(kept.key.c_str(), key);
}

void Odometer::keepAside(const char* section, const char* key, const char* value) {
  for (KeptTotal& k : kept_) {
    if (isKey(k, section, key)) {
      k.value = value;
      return;
    }
  }
  if (kept_.size() >= kMaxKeptTotals) kept_.erase(kept_.begin());
  kept_.push_back({section, key, value});
}

const Odometer::KeptTotal* Odometer::keptTotal(const char* section, const char* key) const {
  for (const KeptTotal& k : kept_) {
    if (isKey(k, section, key)) return &k;
  }
  return nullptr;
}

void Odometer::logOnce(const char* text, int32_t code) {
  for (int i = 0; i < loggedCount_; ++i) {
    if (logged_[i].text == text && logged_[i].code == code) return;
  }
  if (loggedCount_ == static_cast<int>(sizeof logged_ / sizeof logged_[0])) return;
  logged_[loggedCount_++] = {text, code};
  if (log_) log_->write(text, code);
}

void Odometer::select(char* vehicleName, char* trackName) {
  if (loaded) return;
  if (!unread_) {
    if (!vehicleName || !trackName || vehicleName[0] == 0 || trackName[0] == 0) return;
    underscoreSpaces(vehicleName);
    underscoreSpaces(trackName);
    copyKey(vehicleKey, sizeof vehicleKey, vehicleName);
    copyKey(trackKey, sizeof trackKey, trackName);
  }
  char key[kTrackKeySize];
  formTrackKey(key, sizeof key, vehicleKey, trackKey);

  std::string text;
  int32_t code = 0;
  bool fromJournal = false;
  FileRead read = readProfileText(filePath, kMaxOdometerFileSize, text, code, &fromJournal);
  if (read == FileRead::kFailed) {
    logOnce("ERROR KM.txt read, totals kept in memory: ", code);
    if (!unread_) {
      // Distance from now on counts; what came before the keys does not.
      vehicleTotal = 0.0;
      trackTotal = 0.0;
      unread_ = true;
    }
    return;
  }
  // Counted while the file could not be read; added to what it holds.
  double unreadVehicle = unread_ ? vehicleTotal : 0.0;
  double unreadTrack = unread_ ? trackTotal : 0.0;
  unread_ = false;
  refused_ = read == FileRead::kTooLarge;
  if (refused_) {
    logOnce("ERROR KM.txt larger than the limit, totals kept in memory: ",
            static_cast<int32_t>(kMaxOdometerFileSize));
  }
  vehicleTotal = readTotal(text, kVehicleSection, vehicleKey);
  trackTotal = readTotal(text, kTrackSection, key);
  // Totals a failed save left aside are newer than what the file holds.
  bool fromKept = false;
  if (const KeptTotal* k = keptTotal(kVehicleSection, vehicleKey)) {
    vehicleTotal = parseProfileNumber(k->value.c_str());
    fromKept = true;
  }
  if (const KeptTotal* k = keptTotal(kTrackSection, key)) {
    trackTotal = parseProfileNumber(k->value.c_str());
    fromKept = true;
  }
  vehicleTotal += unreadVehicle;
  trackTotal += unreadTrack;
  loaded = true;
  dirty = unreadVehicle != 0.0 || unreadTrack != 0.0;
  if ((fromJournal || fromKept || dirty) && !refused_) {
    // The file lags behind: bring it up to date at the next save.
    dirty = true;
    saveWanted_ = true;
  }
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
  saveWanted_ = false;
  if (refused_ || unread_) return;
  bool current = dirty && vehicleKey[0] != 0 && trackKey[0] != 0;
  if (!current && kept_.empty()) return;
  char vehicleText[kProfileBufferSize];
  char trackText[kProfileBufferSize];
  char key[kTrackKeySize];
  formTrackKey(key, sizeof key, vehicleKey, trackKey);

  // Every total goes into one replacement of the file: a crash between two
  // writes would leave one total new and the other old.
  std::vector<ProfileEntry> entries;
  entries.reserve(kept_.size() + 2);
  for (const KeptTotal& k : kept_) {
    if (current && (isKey(k, kVehicleSection, vehicleKey) || isKey(k, kTrackSection, key))) {
      continue;  // the current total of the same key is newer
    }
    entries.push_back({k.section.c_str(), k.key.c_str(), k.value.c_str()});
  }
  if (current && formatProfileFloat(vehicleTotal, vehicleText, sizeof vehicleText)) {
    entries.push_back({kVehicleSection, vehicleKey, vehicleText});
  }
  if (current && formatProfileFloat(trackTotal, trackText, sizeof trackText)) {
    entries.push_back({kTrackSection, key, trackText});
  }
  triedOnce_ = true;
  lastTryTick_ = platform::tickCount();
  ProfileSave result =
      saveProfileStrings(filePath, entries.data(), entries.size(), kMaxOdometerFileSize);
  saveFailed_ = !result.written;
  if (result.written) {
    dirty = false;
    kept_.clear();
    return;
  }
  if (result.errorCode == -1) {
    // Entries that cannot stand in the file: trying again cannot help.
    dirty = false;
    return;
  }
  // The totals stay changed and a save wanted: saveIfDue tries again.
  saveWanted_ = true;
  if (result.journaled) {
    logOnce("ERROR KM.txt in use, totals kept in KM.txt.journal: ", result.errorCode);
  } else if (result.read == FileRead::kTooLarge) {
    refused_ = true;  // grown past the limit: never written again this session
    logOnce("ERROR KM.txt larger than the limit, totals kept in memory: ",
            static_cast<int32_t>(kMaxOdometerFileSize));
  } else if (result.read == FileRead::kFailed) {
    logOnce("ERROR KM.txt read, totals kept in memory: ", result.errorCode);
  } else {
    logOnce("ERROR KM.txt save, totals kept in memory: ", result.errorCode);
  }
}

void Odometer::saveSoon(uint32_t now) {
  saveWanted_ = true;
  saveIfDue(now);
}

void Odometer::saveIfDue(uint32_t now) {
  if (!saveWanted_) return;
  if (triedOnce_ && static_cast<uint32_t>(now - lastTryTick_) < kOdometerSaveIntervalMs) return;
  save();
}

}  // namespace korvanel

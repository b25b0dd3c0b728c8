// Distance driven per vehicle and per vehicle on a track, kept across
// sessions in "PLUGINS\\KORVANEL\\KM.txt": section [KM] holds a total per
// vehicle key, [KM_TRACKS] one per "vehicle[track]" key. Values are "%f"
// text, read and written in double precision so that large totals keep
// their fraction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvanel {

class PluginLog;

// Largest odometer file the store reads. A longer one is left as it is:
// the totals count on in memory and that file is never written.
constexpr size_t kMaxOdometerFileSize = 8u << 20;

// The update cycles save at most once in this many milliseconds of ticks;
// a save that failed is tried again no sooner either.
constexpr uint32_t kOdometerSaveIntervalMs = 1000;

class Odometer {
 public:
  Odometer() { reset(); }

  // No keys, totals 0, nothing loaded or pending. Totals that changed since
  // a save that could not write them are kept aside and go into the
  // file with the next save that succeeds (a later session's select of the
  // same keys starts from them), so a failed save never loses distance.
  void reset();

  // Takes the keys in use and loads their totals, once per reset; does
  // nothing while either name is empty or null. Replaces spaces by
  // underscores in both names, in place. The file is read once, from its
  // journal when a save left one (the totals are then marked changed, so the
  // file itself is brought up to date). A file that is too large is logged
  // and refused: the totals count from 0 in memory and nothing is written to
  // that file until the next reset. A file that is there but cannot be read
  // is logged and tried again at the next select: the distance counted
  // meanwhile is added to the stored totals once they are read, and nothing
  // is saved before.
  // REQUIRES: each name is a modifiable text of at most 63 characters (only
  // the first 63 are used when it is longer).
  void select(char* vehicleName, char* trackName);

  // Adds a step's distance to both totals and marks them changed. A distance
  // that is negative or not finite adds nothing (it still marks them, as a
  // zero distance does); a total that would stop being finite keeps its
  // value. Touches memory only.
  void add(double distance);

  // Writes both totals (and any kept aside by reset), in one replacement of
  // the file, when they changed and both keys are set. A total that is not
  // finite is not written; its key keeps the stored value. When the file
  // cannot be written the totals stay marked changed and a save stays
  // wanted, so that saveIfDue tries again; the first failure of each cause
  // is logged with the system's error code.
  void save();

  // The update cycles' save: made at once when no file write was tried in
  // the last kOdometerSaveIntervalMs, else left wanted for saveIfDue. `now`
  // is the current tick.
  void saveSoon(uint32_t now);

  // Makes a wanted save once its interval has passed. Only compares ticks
  // when no save is wanted.
  void saveIfDue(uint32_t now);

  // Where failures are logged; null logs nothing.
  void setLog(PluginLog* log) { log_ = log; }

  char filePath[255] = {};
  char vehicleKey[64] = {};
  char trackKey[64] = {};
  double vehicleTotal = 0.0;
  double trackTotal = 0.0;
  bool loaded = false;
  bool dirty = false;

 private:
  struct KeptTotal {
    std::string section, key, value;
  };
  // Whether `kept` stands for `key` of `section` (keys compared as the file
  // compares them, ignoring case).
  static bool isKey(const KeptTotal& kept, const char* section, const char* key);
  // Logs `text` with `code` the first time this pair comes.
  void logOnce(const char* text, int32_t code);
  void keepAside(const char* section, const char* key, const char* value);
  const KeptTotal* keptTotal(const char* section, const char* key) const;

  std::vector<KeptTotal> kept_;
  PluginLog* log_ = nullptr;
  bool refused_ = false;      // the file of this session is too large
  bool unread_ = false;       // keys taken, but the file could not be read yet
  bool saveWanted_ = false;   // a save is due once its interval has passed
  bool saveFailed_ = false;   // the latest save did not reach the file
  bool triedOnce_ = false;    // lastTryTick_ holds a tick
  uint32_t lastTryTick_ = 0;  // tick of the latest file write tried
  struct Logged {
    const char* text;
    int32_t code;
  };
  Logged logged_[16] = {};
  int loggedCount_ = 0;
};

}  // namespace korvanel

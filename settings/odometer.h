// Distance driven per vehicle and per vehicle on a track, kept across
// sessions in "PLUGINS\\KORVANEL\\KM.txt": section [KM] holds a total per
// vehicle key, [KM_TRACKS] one per "vehicle[track]" key. Values are "%f"
// text, read and written in double precision so that large totals keep
// their fraction.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace korvanel {

class PluginLog;

// Largest odometer file the store reads. A longer one is left as it is:
// the totals count on in memory and that file is never written.
constexpr size_t kMaxOdometerFileSize = 8u << 20;

// The update cycles save at most once in this many milliseconds of ticks;
// a save that failed is tried again no sooner either.
constexpr uint32_t kOdometerSaveIntervalMs = 1000;

// While distance is being added (the player driving), the totals are saved
// at least this often, so a crash of the host loses at most this much
// driving. That save runs on a thread of its own: the host's thread only
// hands the totals over and later takes the result.
constexpr uint32_t kOdometerDrivingSaveMs = 60000;

class Odometer {
 public:
  Odometer();
  // Waits for a save in flight to reach the file.
  ~Odometer();
  Odometer(Odometer&&) noexcept;
  Odometer& operator=(Odometer&&) noexcept;

  // No keys, totals 0, nothing loaded or pending. A save in flight is
  // waited for first. Totals that changed since a save that could not write
  // them are kept aside and go into the file with the next save that
  // succeeds (a later session's select of the same keys starts from them),
  // so a failed save never loses distance.
  void reset();

  // Takes the keys in use and loads their totals, once per reset; does
  // nothing while either name is empty or null. Replaces spaces by
  // underscores in both names, in place. The file is read once, from its
  // journal when a save left one that is whole and newer than the file (the
  // totals are then marked changed, so the file itself is brought up to
  // date). A file that is too large is logged and refused: the totals count
  // from 0 in memory and nothing is written to that file until the next
  // reset. A file that is there but cannot be read is logged and tried
  // again at the next select: the distance counted meanwhile is added to
  // the stored totals once they are read, and nothing is saved before.
  // A journal that was set aside is logged.
  // REQUIRES: each name is a modifiable text of at most 63 characters (only
  // the first 63 are used when it is longer).
  void select(char* vehicleName, char* trackName);

  // Adds a step's distance to both totals and marks them changed. A distance
  // that is negative or not finite adds nothing (it still marks them, as a
  // zero distance does); a total that would stop being finite keeps its
  // value. Touches memory only.
  void add(double distance);

  // Writes both totals (and any kept aside by reset), in one replacement of
  // the file, when they changed and both keys are set; a save in flight is
  // waited for first. What this odometer added since its totals were last
  // loaded or saved is added onto what the file holds now, so another
  // process saving the same keys into the same file loses nothing; a total
  // set directly (a reset command writing 0.0 into vehicleTotal or
  // trackTotal) is written as it is, and so is what was added after it.
  // The totals then show what the file holds. A total that is not finite is
  // not written; its key keeps the stored value. When the file cannot be
  // written the totals stay marked changed and a save stays wanted, so that
  // saveIfDue tries again; the first failure of each cause is logged with
  // the system's error code.
  void save();

  // The update cycles' save: made at once when no file write was tried in
  // the last kOdometerSaveIntervalMs, else left wanted for saveIfDue. `now`
  // is the current tick.
  void saveSoon(uint32_t now);

  // Called at every telemetry update. Takes the result of a save in flight
  // once it has finished. Makes a wanted save once its interval has passed;
  // otherwise, once kOdometerDrivingSaveMs have passed since the totals
  // were loaded or last written and they have changed, starts a save on a
  // thread of its own (the hand-over allocates; the write, the flush and
  // the wait for another process's save happen on that thread). Otherwise
  // it only compares ticks.
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
  // A total waiting for the file (see odometer.cpp).
  struct Entry;
  // A save's entries and its result; made on the host's thread, written by
  // a thread of its own when in flight.
  struct SaveJob;
  // Takes the public totals into the ledger's two in use, when loaded; a
  // change there counts as a direct set when `direct`.
  void sync(bool direct);
  // Whether an in use total has anything for the file.
  bool pending() const;
  // Kept entries: the ledger's entries before the two in use.
  size_t keptCount() const;
  // Makes `job` write the kept entries and, when `current`, the two in use.
  void makeJob(SaveJob& job, bool current) const;
  // Takes a finished save's result: `inFlight` for one that ran on its own
  // thread, which is not tried again sooner than the next driving save.
  void take(const SaveJob& job, bool inFlight);
  // Waits for a save in flight, if any, and takes its result.
  void finishInFlight();
  // Logs `text`, with `code` unless it is INT32_MIN, the first time this
  // pair comes.
  void logOnce(const char* text, int32_t code = INT32_MIN);
  // Logs a journal that was set aside, once for each verdict.
  void logJournal(JournalVerdict verdict);

  // Every total waiting for the file: those a failed save kept from earlier
  // sessions, then, while loaded, the vehicle's and the track's in use.
  std::vector<Entry> ledger_;
  std::unique_ptr<SaveJob> inFlight_;
  PluginLog* log_ = nullptr;
  uint32_t adds_ = 0;           // counts add calls, to tell those made during a save
  bool refused_ = false;        // the file of this session is too large
  bool unread_ = false;         // keys taken, but the file could not be read yet
  bool saveWanted_ = false;     // a save is due once its interval has passed
  bool saveFailed_ = false;     // the latest save did not reach the file
  bool triedOnce_ = false;      // lastTryTick_ holds a tick
  uint32_t lastTryTick_ = 0;    // tick of the latest file write tried
  uint32_t lastWriteTick_ = 0;  // tick of the latest load or write tried
  struct Logged {
    const char* text;
    int32_t code;
  };
  Logged logged_[16] = {};
  int loggedCount_ = 0;
};

}  // namespace korvanel

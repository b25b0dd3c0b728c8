// Distance driven per vehicle and per vehicle on a track, kept across
// sessions in "PLUGINS\\KORVANEL\\KM.txt": section [KM] holds a total per
// vehicle key, [KM_TRACKS] one per "vehicle[track]" key. Values are "%f"
// text, read and written in double precision so that large totals keep
// their fraction.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
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
// this often, on a thread of their own, so that a crash of the host loses at
// most this much driving.
constexpr uint32_t kOdometerDrivingSaveMs = 60000;

class Odometer {
 public:
  Odometer();
  // Waits for a save in flight to reach the file.
  ~Odometer();
  Odometer(Odometer&&) noexcept;
  Odometer& operator=(Odometer&&) noexcept;

  // No keys, totals 0, nothing loaded; a save in flight is waited for first.
  // Totals a failed save could not write wait for the next save that
  // succeeds (a later select of the same keys starts from them), so a failed
  // save never loses distance.
  void reset();

  // Takes the keys in use (spaces in both names turned into underscores, in
  // place) and loads their totals, once per reset; does nothing while a name
  // is empty or null. Reads the journal instead of the file when a save left
  // one whole and newer (the totals are then marked changed, so that the file
  // is brought up to date). A file too large is logged and refused: totals
  // count from 0 in memory and it is not written until the next reset. One
  // that cannot be read is logged and tried again at the next select; the
  // distance counted meanwhile is then added to the stored totals, and
  // nothing is saved before. A journal set aside is logged.
  // REQUIRES: each name is modifiable text; its first 63 characters count.
  void select(char* vehicleName, char* trackName);

  // Adds a step's distance to both totals and marks them changed. A distance
  // that is negative or not finite adds nothing (it still marks them, as a
  // zero distance does); a total that would stop being finite keeps its
  // value. Touches memory only.
  void add(double distance);

  // Writes the totals in use when they changed, and any a failed save left
  // waiting, in one replacement of the file; a save in flight is waited for
  // first. What this odometer added is added onto what the file holds now,
  // so another process saving the same keys loses nothing; a total set
  // directly (a reset command writing 0.0 into it) is written as it is. A
  // total that is not finite is not written. The totals then show what the
  // file holds. A failed save leaves the totals changed and a save wanted
  // for saveIfDue; the first failure of each cause is logged with the
  // system's error code.
  void save();

  // The update cycles' save: made at once when no file write was tried in
  // the last kOdometerSaveIntervalMs, else left wanted for saveIfDue. `now`
  // is the current tick.
  void saveSoon(uint32_t now);

  // Called at every telemetry update: takes a finished save in flight's
  // result; makes a wanted save once its interval has passed; else, when the
  // totals changed and kOdometerDrivingSaveMs passed since they were loaded
  // or written, hands them to a save on a thread of its own (the hand-over
  // allocates; the write and any wait happen there). Otherwise it only
  // compares ticks.
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
  // Takes a finished save's result: `inFlight` for one that ran on its own
  // thread, which is not tried again sooner than the next driving save.
  void take(const SaveJob& job, bool inFlight);
  // Waits for a save in flight, if any, and takes its result.
  void finishInFlight();
  // Logs `text`, and `code` unless INT32_MIN, the first time this pair comes.
  void logOnce(const char* text, int32_t code = INT32_MIN);
  // Logs a read of the file that failed or was refused; tells whether it was.
  bool logRead(FileRead read, int32_t code);
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
  std::pair<const char*, int32_t> logged_[16] = {};  // what was logged: text, code
  int loggedCount_ = 0;
};

}  // namespace korvanel

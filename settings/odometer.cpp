// The odometer store: two running totals in memory, loaded once per session
// and merged back into the file through the profile helpers.
#include "settings/odometer.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "settings/ini_file.h"
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

constexpr size_t kNoIndex = static_cast<size_t>(-1);

}  // namespace

struct Odometer::SaveJob {
  ~SaveJob() {
    if (thread.joinable()) thread.join();
  }

  std::string path;
  std::vector<KeptTotal> totals;  // kept ones first, then the two in use
  std::vector<double> written;    // the value each got in the file
  size_t vehicleIndex = kNoIndex;
  size_t trackIndex = kNoIndex;
  // The odometer as the job was made.
  double vehicleHanded = 0.0;
  double trackHanded = 0.0;
  uint32_t vehicleSets = 0;
  uint32_t trackSets = 0;
  uint32_t adds = 0;
  ProfileSave result;
  std::atomic<bool> finished{false};
  std::thread thread;
};

Odometer::Odometer() { reset(); }

Odometer::~Odometer() = default;
Odometer::Odometer(Odometer&&) noexcept = default;
Odometer& Odometer::operator=(Odometer&&) noexcept = default;

void Odometer::noteDirectSets() {
  if (vehicleTotal != vehicle_.seen) {
    vehicle_.set = true;
    ++vehicle_.sets;
  }
  if (trackTotal != track_.seen) {
    track_.set = true;
    ++track_.sets;
  }
  noteSeen();
}

void Odometer::noteSeen() {
  vehicle_.seen = vehicleTotal;
  track_.seen = trackTotal;
}

bool Odometer::changedSinceWrite() const {
  return vehicle_.set || track_.set || vehicleTotal != vehicle_.stored ||
         trackTotal != track_.stored;
}

void Odometer::reset() {
  finishSaveInFlight();
  noteDirectSets();
  if (saveFailed_ && dirty && vehicleKey[0] != 0 && trackKey[0] != 0 && loaded) {
    // The latest save failed: keep what the file lacks for the next that
    // succeeds.
    char key[kTrackKeySize];
    formTrackKey(key, sizeof key, vehicleKey, trackKey);
    if (std::isfinite(vehicleTotal)) {
      keepAside(kVehicleSection, vehicleKey,
                vehicle_.set ? vehicleTotal : vehicleTotal - vehicle_.stored, vehicle_.set,
                vehicle_.stored, vehicleTotal);
    }
    if (std::isfinite(trackTotal)) {
      keepAside(kTrackSection, key, track_.set ? trackTotal : trackTotal - track_.stored,
                track_.set, track_.stored, trackTotal);
    }
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
  vehicle_ = Tracked{};
  track_ = Tracked{};
  saveWanted_ = !kept_.empty();
}

bool Odometer::isKey(const KeptTotal& kept, const char* section, const char* key) {
  return kept.section == section && equalsIgnoreCase(kept.key.c_str(), key);
}

void Odometer::keepAside(const char* section, const char* key, double amount, bool set, double base,
                         double whole) {
  for (KeptTotal& k : kept_) {
    if (isKey(k, section, key)) {
      k.amount = set ? amount : k.amount + amount;
      k.whole = set ? amount : k.whole + amount;
      k.set = k.set || set;
      return;
    }
  }
  if (!set && amount == 0.0) return;
  if (kept_.size() >= kMaxKeptTotals) kept_.erase(kept_.begin());
  kept_.push_back({section, key, amount, set, base, whole});
}

void Odometer::logOnce(const char* text, int32_t code) {
  for (int i = 0; i < loggedCount_; ++i) {
    if (logged_[i].text == text && logged_[i].code == code) return;
  }
  if (loggedCount_ == static_cast<int>(sizeof logged_ / sizeof logged_[0])) return;
  logged_[loggedCount_++] = {text, code};
  if (!log_) return;
  if (code == INT32_MIN) {
    log_->write(text);
  } else {
    log_->write(text, code);
  }
}

void Odometer::logText(const char* text) { logOnce(text, INT32_MIN); }

void Odometer::logJournal(JournalVerdict verdict) {
  if (verdict == JournalVerdict::kDamaged) {
    logText("ERROR KM.txt.journal not whole, set aside as KM.txt.journal.rejected; KM.txt kept");
  } else if (verdict == JournalVerdict::kStale) {
    logText(
        "ERROR KM.txt.journal older than KM.txt, set aside as KM.txt.journal.rejected; "
        "KM.txt kept");
  }
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
  JournalVerdict journal = JournalVerdict::kNone;
  FileRead read =
      readProfileText(filePath, kMaxOdometerFileSize, text, code, &fromJournal, &journal);
  logJournal(journal);
  if (read == FileRead::kFailed) {
    logOnce("ERROR KM.txt read, totals kept in memory: ", code);
    if (!unread_) {
      // Distance from now on counts; what came before the keys does not.
      vehicleTotal = 0.0;
      trackTotal = 0.0;
      noteSeen();
      unread_ = true;
    }
    return;
  }
  noteDirectSets();
  // Counted while the file could not be read; added to what it holds.
  double unreadVehicle = unread_ ? vehicleTotal : 0.0;
  double unreadTrack = unread_ ? trackTotal : 0.0;
  unread_ = false;
  refused_ = read == FileRead::kTooLarge;
  if (refused_) {
    logOnce("ERROR KM.txt larger than the limit, totals kept in memory: ",
            static_cast<int32_t>(kMaxOdometerFileSize));
  }
  vehicle_ = Tracked{};
  track_ = Tracked{};
  vehicle_.stored = vehicleTotal = readTotal(text, kVehicleSection, vehicleKey);
  track_.stored = trackTotal = readTotal(text, kTrackSection, key);
  // What a failed save left aside is not in the file yet.
  bool fromKept = false;
  for (size_t i = 0; i < kept_.size();) {
    KeptTotal& k = kept_[i];
    bool isVehicle = isKey(k, kVehicleSection, vehicleKey);
    bool isTrack = isKey(k, kTrackSection, key);
    if (!isVehicle && !isTrack) {
      ++i;
      continue;
    }
    double& total = isVehicle ? vehicleTotal : trackTotal;
    Tracked& tracked = isVehicle ? vehicle_ : track_;
    total = k.set ? k.amount : total + k.amount;
    tracked.set = k.set;
    fromKept = true;
    kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  vehicleTotal += unreadVehicle;
  trackTotal += unreadTrack;
  noteSeen();
  loaded = true;
  lastWriteTick_ = platform::tickCount();
  dirty = unreadVehicle != 0.0 || unreadTrack != 0.0;
  if ((fromJournal || fromKept || dirty) && !refused_) {
    // The file lags behind: bring it up to date at the next save.
    dirty = true;
    saveWanted_ = true;
  }
}

void Odometer::add(double distance) {
  noteDirectSets();
  dirty = true;
  ++adds_;
  if (!(distance >= 0.0) || !std::isfinite(distance)) return;
  double vehicle = vehicleTotal + distance;
  double track = trackTotal + distance;
  if (std::isfinite(vehicle)) vehicleTotal = vehicle;
  if (std::isfinite(track)) trackTotal = track;
  noteSeen();
}

ProfileSave Odometer::writeTotals(SaveJob& job) {
  job.written.assign(job.totals.size(), 0.0);
  ProfileSave result = editProfileText(
      job.path.c_str(),
      [&job](std::string& text) {
        for (size_t i = 0; i < job.totals.size(); ++i) {
          const KeptTotal& t = job.totals[i];
          char found[kProfileBufferSize];
          bool present = findIniValue(text, t.section.c_str(), t.key.c_str(), found, sizeof found);
          double stored = readTotal(text, t.section.c_str(), t.key.c_str());
          char baseText[kProfileBufferSize];
          bool unchanged = !present || (formatProfileFloat(t.base, baseText, sizeof baseText) &&
                                        parseProfileNumber(found) == parseProfileNumber(baseText));
          double value = (t.set || unchanged) ? t.whole : stored + t.amount;
          char formatted[kProfileBufferSize];
          if (!formatProfileFloat(value, formatted, sizeof formatted)) {
            value = stored;  // cannot be stored: the key keeps its value
          } else {
            text = withIniValue(text, t.section.c_str(), t.key.c_str(), formatted);
          }
          job.written[i] = value;
        }
        return true;
      },
      kMaxOdometerFileSize);
  return result;
}

std::vector<Odometer::KeptTotal> Odometer::pendingTotals(bool current) const {
  std::vector<KeptTotal> totals = kept_;
  if (!current) return totals;
  char key[kTrackKeySize];
  formTrackKey(key, sizeof key, vehicleKey, trackKey);
  // A total that is not finite is not written; its key keeps its value.
  if (std::isfinite(vehicleTotal)) {
    totals.push_back({kVehicleSection, vehicleKey,
                      vehicle_.set ? vehicleTotal : vehicleTotal - vehicle_.stored, vehicle_.set,
                      vehicle_.stored, vehicleTotal});
  }
  if (std::isfinite(trackTotal)) {
    totals.push_back({kTrackSection, key, track_.set ? trackTotal : trackTotal - track_.stored,
                      track_.set, track_.stored, trackTotal});
  }
  return totals;
}

void Odometer::fillJob(SaveJob& job, bool current) const {
  job.path = filePath;
  job.totals = pendingTotals(current);
  size_t mine = job.totals.size() - kept_.size();
  if (mine == 2) {
    job.vehicleIndex = kept_.size();
    job.trackIndex = kept_.size() + 1;
  } else if (mine == 1) {
    (std::isfinite(vehicleTotal) ? job.vehicleIndex : job.trackIndex) = kept_.size();
  }
  job.vehicleHanded = vehicleTotal;
  job.trackHanded = trackTotal;
  job.vehicleSets = vehicle_.sets;
  job.trackSets = track_.sets;
  job.adds = adds_;
}

void Odometer::settle(const SaveJob& job) {
  auto settleOne = [&job](size_t index, double handed, uint32_t sets, double& total,
                          Tracked& tracked) {
    if (index == kNoIndex) return;
    double written = job.written[index];
    if (tracked.sets == sets) {
      // What came after the job was made stays on top of the file's value;
      // when nobody else wrote, the total stays as it is, to the last bit.
      // Otherwise the increment first: a total the file could not take (too
      // large to write) less what was written would cancel to nothing.
      if (written != handed) total = written + (total - handed);
      tracked.set = false;
    }
    tracked.stored = written;
  };
  settleOne(job.vehicleIndex, job.vehicleHanded, job.vehicleSets, vehicleTotal, vehicle_);
  settleOne(job.trackIndex, job.trackHanded, job.trackSets, trackTotal, track_);
  noteSeen();
}

void Odometer::apply(const SaveJob& job, bool inFlight) {
  const ProfileSave& result = job.result;
  logJournal(result.journal);
  // Totals that reached the journal are what the next read finds: they
  // count as stored, or the next save would add them again.
  saveFailed_ = !result.written && !result.journaled;
  bool current = job.vehicleIndex != kNoIndex || job.trackIndex != kNoIndex;
  if (result.written || result.journaled) {
    settle(job);
    kept_.clear();
    if (current) dirty = adds_ != job.adds || vehicle_.set || track_.set;
  }
  if (result.written) return;
  if (result.errorCode == -1) {
    // Entries that cannot stand in the file: trying again cannot help.
    dirty = false;
    return;
  }
  // The totals stay changed: saveIfDue tries again, a save of the host's
  // thread within its interval, one in flight at the next driving save.
  if (!inFlight) saveWanted_ = true;
  if (result.journaled) {
    dirty = true;  // the file itself still lags behind the journal
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

void Odometer::save() {
  finishSaveInFlight();
  noteDirectSets();
  saveWanted_ = false;
  if (refused_ || unread_) return;
  bool current = dirty && vehicleKey[0] != 0 && trackKey[0] != 0;
  if (!current && kept_.empty()) return;
  SaveJob job;
  fillJob(job, current);
  triedOnce_ = true;
  lastTryTick_ = lastWriteTick_ = platform::tickCount();
  job.result = writeTotals(job);
  apply(job, false);
  if (current && job.vehicleIndex == kNoIndex && job.trackIndex == kNoIndex && job.result.written) {
    dirty = false;  // neither total could be stored; nothing is left to write
  }
}

void Odometer::startSaveInFlight(uint32_t now) {
  noteDirectSets();
  auto job = std::make_unique<SaveJob>();
  fillJob(*job, true);
  lastWriteTick_ = now;
  SaveJob* running = job.get();
  try {
    job->thread = std::thread([running] {
      running->result = writeTotals(*running);
      running->finished.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return;  // no thread to be had: the next driving save tries again
  }
  inFlight_ = std::move(job);
}

void Odometer::finishSaveInFlight() {
  if (!inFlight_) return;
  std::unique_ptr<SaveJob> job = std::move(inFlight_);
  if (job->thread.joinable()) job->thread.join();
  noteDirectSets();
  apply(*job, true);
}

void Odometer::saveSoon(uint32_t now) {
  saveWanted_ = true;
  saveIfDue(now);
}

void Odometer::saveIfDue(uint32_t now) {
  if (inFlight_ && inFlight_->finished.load(std::memory_order_acquire)) finishSaveInFlight();
  if (saveWanted_) {
    if (triedOnce_ && static_cast<uint32_t>(now - lastTryTick_) < kOdometerSaveIntervalMs) return;
    save();
    return;
  }
  if (inFlight_ || !loaded || refused_ || unread_ || vehicleKey[0] == 0 || trackKey[0] == 0) return;
  if (static_cast<uint32_t>(now - lastWriteTick_) < kOdometerDrivingSaveMs) return;
  noteDirectSets();
  if (!changedSinceWrite()) {
    lastWriteTick_ = now;  // nothing to write: look again a period later
    return;
  }
  startSaveInFlight(now);
}

}  // namespace korvanel

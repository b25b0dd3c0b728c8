// The odometer store: two running totals in memory, loaded once per session
// and merged back into the file through the profile helpers.
#include "settings/odometer.h"

#include <algorithm>
#include <atomic>
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

void underscoreSpaces(char* name) {
  std::replace(name, std::find(name, name + kMaxName, '\0'), ' ', '_');
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

// A stored total, 0 when missing; a damaged value ("abc", "nan", "1e999")
// counts as 0 for this key alone.
double readTotal(const std::string& text, const std::string& section, const std::string& key,
                 bool* found = nullptr) {
  char value[kProfileBufferSize];
  bool there = findIniValue(text, section.c_str(), key.c_str(), value, sizeof value);
  if (found) *found = there;
  double total = there ? parseProfileNumber(value) : 0.0;
  return std::isfinite(total) ? total : 0.0;
}

// What `value` reads back as from the file; NaN for one it cannot hold.
double asStored(double value) {
  char text[kProfileBufferSize];
  return formatProfileFloat(value, text, sizeof text) ? parseProfileNumber(text) : NAN;
}

// Totals that reset keeps aside, at most: the few keys of a few sessions.
constexpr size_t kMaxKeptTotals = 64;

}  // namespace

struct Odometer::Entry {
  std::string section, key;
  double base = 0.0;   // what the file held when this total began to count
  double whole = 0.0;  // the total as this odometer has it
  uint32_t sets = 0;   // direct sets not yet written; while any, whole is written as it is

  // What the file holding `text` gets: `whole` when set directly, or when
  // nobody else wrote the key since `base` (the file still holds it, or has
  // lost the key); else the file's value and what this odometer counted.
  double valueIn(const std::string& text) const {
    bool found = false;
    double stored = readTotal(text, section, key, &found);
    if (sets != 0 || !found || stored == asStored(base)) return whole;
    return stored + (whole - base);
  }
  bool pending() const { return std::isfinite(whole) && (sets != 0 || whole != base); }
};

struct Odometer::SaveJob {
  // The first `count` entries of `odometer`'s ledger.
  SaveJob(const Odometer& odometer, size_t count)
      : path(odometer.filePath),
        entries(odometer.ledger_.begin(), odometer.ledger_.begin() + count),
        adds(odometer.adds_) {}
  ~SaveJob() {
    if (thread.joinable()) thread.join();
  }
  // Writes the entries in one replacement of the file, leaving in each base
  // what the file got: where its next count begins. A value the file cannot
  // hold (not finite, too long) leaves the key as it is.
  void write() {
    result = editProfileText(
        path.c_str(),
        [this](std::string& text) {
          for (Entry& e : entries) {
            double value = e.valueIn(text);
            char formatted[kProfileBufferSize];
            if (formatProfileFloat(value, formatted, sizeof formatted)) {
              text = withIniValue(text, e.section.c_str(), e.key.c_str(), formatted);
            } else {
              value = readTotal(text, e.section, e.key);
            }
            e.base = value;
          }
        },
        kMaxOdometerFileSize);
    finished.store(true, std::memory_order_release);
  }

  std::string path;
  std::vector<Entry> entries;  // the ledger's first entries as the job was made
  uint32_t adds;               // the odometer's add count then
  ProfileSave result;
  std::atomic<bool> finished{false};
  std::thread thread;
};

Odometer::Odometer() { reset(); }

Odometer::~Odometer() = default;
Odometer::Odometer(Odometer&&) noexcept = default;
Odometer& Odometer::operator=(Odometer&&) noexcept = default;

size_t Odometer::keptCount() const { return ledger_.size() - (loaded ? 2 : 0); }

void Odometer::sync(bool direct) {
  if (!loaded) return;
  double* totals[] = {&vehicleTotal, &trackTotal};
  for (size_t i = 0; i < 2; ++i) {
    Entry& e = ledger_[keptCount() + i];
    if (*totals[i] == e.whole) continue;
    if (direct) ++e.sets;
    e.whole = *totals[i];
  }
}

bool Odometer::pending() const {
  return loaded && (ledger_[keptCount()].pending() || ledger_[keptCount() + 1].pending());
}

void Odometer::reset() {
  finishInFlight();
  sync(true);
  if (loaded) {
    // After a failed save, changed totals in use stay for the next save
    // that succeeds; a later select of the same keys starts from them.
    bool keep = saveFailed_ && dirty;
    ledger_.erase(std::remove_if(ledger_.end() - 2, ledger_.end(),
                                 [keep](const Entry& e) { return !keep || !e.pending(); }),
                  ledger_.end());
  }
  if (ledger_.size() > kMaxKeptTotals) {
    ledger_.erase(ledger_.begin(), ledger_.end() - kMaxKeptTotals);
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
  saveWanted_ = !ledger_.empty();
}

void Odometer::logOnce(const char* text, int32_t code) {
  auto end = logged_ + loggedCount_;
  if (std::find(logged_, end, std::make_pair(text, code)) != end || loggedCount_ == 16) return;
  logged_[loggedCount_++] = {text, code};
  if (log_ && code == INT32_MIN) log_->write(text);
  if (log_ && code != INT32_MIN) log_->write(text, code);
}

bool Odometer::logRead(FileRead read, int32_t code) {
  if (read == FileRead::kTooLarge) {
    logOnce("ERROR KM.txt larger than the limit, totals kept in memory: ",
            static_cast<int32_t>(kMaxOdometerFileSize));
  }
  if (read == FileRead::kFailed) logOnce("ERROR KM.txt read, totals kept in memory: ", code);
  return read == FileRead::kTooLarge || read == FileRead::kFailed;
}

void Odometer::logJournal(JournalVerdict verdict) {
  if (verdict == JournalVerdict::kDamaged || verdict == JournalVerdict::kStale) {
    logOnce(
        verdict == JournalVerdict::kDamaged
            ? "ERROR KM.txt.journal not whole, set aside as KM.txt.journal.rejected; KM.txt kept"
            : "ERROR KM.txt.journal older than KM.txt, set aside as "
              "KM.txt.journal.rejected; KM.txt kept");
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
  std::string text;
  int32_t code = 0;
  JournalVerdict journal = JournalVerdict::kNone;
  FileRead read = readProfileText(filePath, kMaxOdometerFileSize, text, code, &journal);
  logJournal(journal);
  logRead(read, code);
  if (read == FileRead::kFailed) {
    // Distance from now on counts; what came before the keys does not.
    if (!unread_) vehicleTotal = trackTotal = 0.0;
    unread_ = true;
    return;
  }
  refused_ = read == FileRead::kTooLarge;
  // Each total in use goes on from what the file holds, through what a
  // failed save kept, and what was counted while the file could not be read.
  dirty = unread_ && (vehicleTotal != 0.0 || trackTotal != 0.0);
  bool fromKept = false;
  auto takeUp = [&](const char* section, const char* key, double& total) {
    double stored = readTotal(text, section, key);
    Entry entry{section, key, stored, stored, 0};
    auto kept = std::find_if(ledger_.begin(), ledger_.end(), [&](const Entry& e) {
      return e.section == section && equalsIgnoreCase(e.key.c_str(), key);
    });
    if (kept != ledger_.end()) {
      entry.whole = kept->valueIn(text);
      entry.sets = kept->sets;
      ledger_.erase(kept);
      fromKept = true;
    }
    total = entry.whole += unread_ ? total : 0.0;
    ledger_.push_back(std::move(entry));
  };
  takeUp(kVehicleSection, vehicleKey, vehicleTotal);
  takeUp(kTrackSection, (std::string(vehicleKey) + "[" + trackKey + "]").c_str(), trackTotal);
  unread_ = false;
  loaded = true;
  lastWriteTick_ = platform::tickCount();
  // A file that lags behind is brought up to date at the next save.
  if (!refused_ && (journal == JournalVerdict::kApplies || fromKept)) dirty = true;
  saveWanted_ = saveWanted_ || (dirty && !refused_);
}

void Odometer::add(double distance) {
  sync(true);
  dirty = true;
  ++adds_;
  if (!(distance >= 0.0) || !std::isfinite(distance)) return;
  if (std::isfinite(vehicleTotal + distance)) vehicleTotal += distance;
  if (std::isfinite(trackTotal + distance)) trackTotal += distance;
  sync(false);
}

void Odometer::take(const SaveJob& job, bool inFlight) {
  sync(true);
  const ProfileSave& result = job.result;
  logJournal(result.journal);
  // Totals that reached the journal are what the next read finds: they
  // count as stored, or the next save would add them again.
  saveFailed_ = !result.written && !result.journaled;
  if (!saveFailed_) {
    for (size_t i = 0; i < job.entries.size(); ++i) {
      const Entry& made = job.entries[i];
      Entry& e = ledger_[i];
      if (e.sets == made.sets) {
        // Not set since: what was added since goes on top of what the file
        // got, and a total the file got as it is stays so to the last bit.
        if (made.base != made.whole) e.whole = made.base + (e.whole - made.whole);
        e.sets = 0;
      }
      e.base = made.base;
    }
    bool current = job.entries.size() > keptCount();
    ledger_.erase(ledger_.begin(), ledger_.begin() + keptCount());
    if (loaded) {
      vehicleTotal = ledger_[0].whole;
      trackTotal = ledger_[1].whole;
    }
    if (current) dirty = adds_ != job.adds || pending();
  }
  if (result.written) return;
  // Tried again by saveIfDue: within its interval, or at the next driving save.
  if (!inFlight) saveWanted_ = true;
  // A file grown past the limit is not written again this session.
  refused_ = refused_ || result.read == FileRead::kTooLarge;
  if (result.journaled) {
    dirty = true;  // the file itself still lags behind the journal
    logOnce("ERROR KM.txt in use, totals kept in KM.txt.journal: ", result.errorCode);
  } else if (!logRead(result.read, result.errorCode)) {
    logOnce("ERROR KM.txt save, totals kept in memory: ", result.errorCode);
  }
}

void Odometer::save() {
  finishInFlight();
  sync(true);
  saveWanted_ = false;
  bool current = dirty && loaded;
  if (refused_ || unread_ || (!current && keptCount() == 0)) return;
  SaveJob job(*this, current ? ledger_.size() : keptCount());
  triedOnce_ = true;
  lastTryTick_ = lastWriteTick_ = platform::tickCount();
  job.write();
  take(job, false);
}

void Odometer::finishInFlight() {
  if (!inFlight_) return;
  std::unique_ptr<SaveJob> job = std::move(inFlight_);
  job->thread.join();
  take(*job, true);
}

void Odometer::saveSoon(uint32_t now) {
  saveWanted_ = true;
  saveIfDue(now);
}

void Odometer::saveIfDue(uint32_t now) {
  if (inFlight_ && inFlight_->finished.load(std::memory_order_acquire)) finishInFlight();
  if (saveWanted_) {
    // Ticks are unsigned 32-bit: differences stay right across a wrap.
    if (!triedOnce_ || now - lastTryTick_ >= kOdometerSaveIntervalMs) save();
    return;
  }
  if (inFlight_ || !loaded || refused_) return;
  if (now - lastWriteTick_ < kOdometerDrivingSaveMs) return;
  // Nothing to write: look again a period later; no thread to be had: the
  // next driving save tries again.
  lastWriteTick_ = now;
  sync(true);
  if (!pending()) return;
  auto job = std::make_unique<SaveJob>(*this, ledger_.size());
  try {
    job->thread = std::thread(&SaveJob::write, job.get());
  } catch (const std::system_error&) {
    return;
  }
  inFlight_ = std::move(job);
}

}  // namespace korvanel

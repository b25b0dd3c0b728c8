// A display program for the concurrency test: maps the plugin's shared block
// through the public reader header, copies every region over and over, checks
// what a lock-free reader may rely on, and writes command bytes the way a
// display does. Two roles:
//   display   sweeps the class rows 0 to 255 and flips the KERS switches,
//             each time waiting for two scoring publications and checking
//             that its bytes were neither lost nor undone; it also counts
//             every reset of the two odometer totals it sees.
//   resetter  sends odometer resets one at a time, alternating the vehicle
//             and the track total, each once that total is 500 m or more,
//             waits for each to be cleared and checks that it was carried
//             out on the right total.
// It runs until the host shuts the plugin down, STOP_FILE appears, or
// MAX_SECONDS pass, then prints its counts as name=value lines.
//
// usage: concurrency_reader display|resetter STOP_FILE DONE_FILE MAX_SECONDS
// The resetter creates DONE_FILE after its last reset; the display stops
// counting drops then.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "korvanel/shared_block.h"

namespace {

using Clock = std::chrono::steady_clock;

// The block is written by another process at any moment: every access is an
// atomic one of its own size, so the compiler neither caches nor tears it.
template <typename T>
T load(const T& field) {
  T value;
  __atomic_load(&field, &value, __ATOMIC_ACQUIRE);
  return value;
}
template <typename T>
void store(T& field, T value) {
  __atomic_store(&field, &value, __ATOMIC_RELEASE);
}

KorvanelSharedBlock* openBlock(double waitSeconds) {
  const char* suffix = std::getenv(KORVANEL_NAME_SUFFIX_VARIABLE);
  std::string name = std::string("/") + KORVANEL_SHARED_BLOCK_NAME + (suffix ? suffix : "");
  auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(waitSeconds));
  while (Clock::now() < deadline) {
    int fd = shm_open(name.c_str(), O_RDWR, 0);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_size >= KORVANEL_SHARED_BLOCK_SIZE) {
      void* view =
          mmap(nullptr, KORVANEL_SHARED_BLOCK_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      close(fd);
      if (view != MAP_FAILED) return static_cast<KorvanelSharedBlock*>(view);
    } else if (fd >= 0) {
      close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return nullptr;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct Counts {
  long passes = 0;
  long invalid = 0;  // a value no publication can hold
  // display
  long rowsChecked = 0;
  long sweeps = 0;
  long undone = 0;  // a command byte back at an older value
  long groupMismatches = 0;
  long vehicleResetsObserved = 0;
  long trackResetsObserved = 0;
  // resetter
  long resetsSent[2] = {0, 0};
  long resetsSeen[2] = {0, 0};  // the total dropped afterwards
  long resetsLost[2] = {0, 0};  // cleared, but the total did not drop
  long wrongTotalReset = 0;
  long neverCleared = 0;
  long interrupted = 0;  // the session ended between sending and checking
  double longestClearMs = 0;
};

class Reader {
 public:
  Reader(KorvanelSharedBlock* block, std::string stopFile, std::string doneFile, double maxSeconds)
      : block_(block),
        stopFile_(std::move(stopFile)),
        doneFile_(std::move(doneFile)),
        deadline_(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(maxSeconds))),
        copy_(sizeof(KorvanelSharedBlock)) {}

  // One pass over every region; false once it is time to stop.
  bool pass() {
    // A plain copy between fences of memory another process writes: a
    // region may be caught half written, so only what cannot tear is checked.
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    std::memcpy(copy_.data(), static_cast<const void*>(block_), copy_.size());
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    const auto* seen = reinterpret_cast<const KorvanelSharedBlock*>(copy_.data());
    ++counts.passes;
    const KorvanelHostState& s = seen->state;
    if (s.sessionActive > 1 || s.shutDown > 1 || seen->scoringPublished > 1 ||
        (s.distanceResetCommand != 0 && s.distanceResetCommand != 2 &&
         s.distanceResetCommand != 3) ||
        seen->scoring.playerIndex < -1 || seen->scoring.playerIndex >= KORVANEL_MAX_VEHICLES ||
        seen->scoring.vehicleCount < 0 || seen->scoring.vehicleCount > 255 ||
        (lockAddress_ != 0 && seen->dataLockAddress != lockAddress_)) {
      ++counts.invalid;
    }
    if (lockAddress_ == 0) lockAddress_ = seen->dataLockAddress;

    if ((counts.passes & 255) == 0 && (exists(stopFile_) || Clock::now() > deadline_)) return false;
    if (pauseUs_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs_));
    return load(block_->state.shutDown) == 0 || load(block_->state.sessionActive) == 1;
  }

  // Passes until `done` holds or it is time to stop; false when stopping.
  template <typename Done>
  bool passUntil(Done done) {
    while (!done()) {
      if (!pass()) return false;
      afterPass();
    }
    return true;
  }

  virtual void afterPass() {}
  virtual ~Reader() = default;

  Counts counts;

 protected:
  KorvanelSharedBlock* block_;
  std::string stopFile_;
  std::string doneFile_;
  Clock::time_point deadline_;
  std::vector<unsigned char> copy_;
  uint32_t lockAddress_ = 0;
  // A pause after every pass (KORVANEL_READER_PAUSE_US), 0 for none.
  long pauseUs_ = std::getenv("KORVANEL_READER_PAUSE_US")
                      ? std::atol(std::getenv("KORVANEL_READER_PAUSE_US"))
                      : 0;
};

class Display : public Reader {
 public:
  using Reader::Reader;

  // Both totals grow by the same step at every update, so their difference
  // holds still except at a reset: a vehicle reset raises it, a track reset
  // lowers it, each by the reset total (500 m or more, see the resetter).
  // Every change that lasts is one reset carried out; a reading torn between
  // two updates is off by one step and ignored.
  void afterPass() override {
    if (countingDone_) return;
    if ((counts.passes & 255) == 0 && exists(doneFile_)) countingDone_ = true;
    const KorvanelHostState& s = reinterpret_cast<const KorvanelSharedBlock*>(copy_.data())->state;
    if (s.sessionActive != 1) {
      pending_ = false;
      return;
    }
    double difference = s.vehicleTrackDistance - s.vehicleDistance;
    if (pending_ && std::fabs(difference - pendingDifference_) <= kStep) {
      ++(pendingDifference_ > difference_ ? counts.vehicleResetsObserved
                                          : counts.trackResetsObserved);
      difference_ = pendingDifference_;
      pending_ = false;
    } else if (std::fabs(difference - difference_) > kStep) {
      pending_ = true;
      pendingDifference_ = difference;
    } else {
      pending_ = false;
    }
  }

  void run() {
    KorvanelHostState& state = block_->state;
    if (!passUntil([&] {
          return load(state.sessionActive) == 1 && load(block_->scoring.vehicleCount) > 0;
        })) {
      return;
    }
    for (;;) {
      for (int row = 0; row < 256; ++row) {
        uint8_t timerOn = row & 1;
        uint8_t running = (row >> 1) & 1;
        store(state.selectedClassRow, static_cast<uint8_t>(row));
        store(state.kersTimerOn, timerOn);
        store(state.kersRunning, running);
        // The second publication began after the bytes were written.
        for (int i = 0; i < 2; ++i) {
          store(block_->scoringPublished, uint8_t{0});
          if (!passUntil([&] { return load(block_->scoringPublished) == 1; })) return;
        }
        if (load(state.sessionActive) != 1) return;  // the lifecycle resets them
        if (load(state.selectedClassRow) != row || load(state.kersTimerOn) != timerOn ||
            load(state.kersRunning) != running) {
          ++counts.undone;
          continue;
        }
        ++counts.rowsChecked;
        // Row 0 holds everybody; rows past the configuration's hold nobody.
        uint8_t noGroup = load(block_->scoring.noClassGroup);
        if ((row == 0 && noGroup != 0) || (row >= 22 && noGroup != 1)) ++counts.groupMismatches;
      }
      ++counts.sweeps;
    }
  }

 private:
  static constexpr double kStep = 100.0;  // far above one update's distance
  bool countingDone_ = false;
  double difference_ = 0.0;  // both totals start from 0 in a fresh file
  bool pending_ = false;
  double pendingDifference_ = 0.0;
};

class Resetter : public Reader {
 public:
  Resetter(KorvanelSharedBlock* block, std::string stopFile, std::string doneFile,
           double maxSeconds, long maxResets)
      : Reader(block, std::move(stopFile), std::move(doneFile), maxSeconds),
        maxResets_(maxResets) {}

  void run() {
    KorvanelHostState& state = block_->state;
    auto last = Clock::now();
    for (long n = 0; n < maxResets_; ++n) {
      const int kind = n % 2;  // 0: vehicle total, 1: track total
      // Spread over the race rather than all at its start.
      if (!passUntil([&] { return Clock::now() - last > std::chrono::milliseconds(50); })) break;
      double& total = kind == 0 ? state.vehicleDistance : state.vehicleTrackDistance;
      // Far enough from the last reset that a drop cannot be missed.
      if (!passUntil([&] { return load(state.sessionActive) == 1 && load(total) >= 500.0; })) {
        break;
      }
      double before = difference();
      int32_t countBefore = load(state.updateCount);
      auto sent = Clock::now();
      store(state.distanceResetCommand, static_cast<uint8_t>(kind == 0 ? 2 : 3));
      ++counts.resetsSent[kind];
      if (!passUntil([&] {
            return load(state.distanceResetCommand) == 0 ||
                   Clock::now() - sent > std::chrono::seconds(5);
          })) {
        ++counts.interrupted;
        break;
      }
      if (load(state.distanceResetCommand) != 0) {
        ++counts.neverCleared;
        store(state.distanceResetCommand, uint8_t{0});
        continue;
      }
      double clearMs = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
      if (clearMs > counts.longestClearMs) counts.longestClearMs = clearMs;
      // Three updates on: the one that carried the command out has finished
      // publishing (the count seen may come from a copy still under way).
      if (!passUntil([&] {
            return static_cast<uint32_t>(load(state.updateCount) - countBefore) >= 3u ||
                   load(state.sessionActive) != 1;
          }) ||
          load(state.sessionActive) != 1) {
        ++counts.interrupted;
        break;
      }
      // The difference of the totals moved by the reset total, the right
      // way: this reset and only this total. However late this reader looks,
      // the difference holds until the next reset.
      double change = difference() - before;
      if (std::fabs(change) < 400.0) {
        ++counts.resetsLost[kind];
        std::fprintf(stderr,
                     "reset %ld (%s) looks lost: difference %.3f -> %.3f, totals now %.3f and "
                     "%.3f, updates %d -> %d, cleared after %.1f ms\n",
                     n, kind == 0 ? "vehicle" : "track", before, before + change,
                     load(block_->state.vehicleDistance), load(block_->state.vehicleTrackDistance),
                     countBefore, load(state.updateCount), clearMs);
      } else if ((change > 0) == (kind == 0)) {
        ++counts.resetsSeen[kind];
      } else {
        ++counts.wrongTotalReset;
      }
      last = Clock::now();
    }
    if (FILE* f = std::fopen(doneFile_.c_str(), "w")) std::fclose(f);
    passUntil([] { return false; });
  }

 private:
  double difference() {
    return load(block_->state.vehicleTrackDistance) - load(block_->state.vehicleDistance);
  }

  long maxResets_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: concurrency_reader display|resetter STOP_FILE DONE_FILE MAX_SECONDS "
                 "[MAX_RESETS]\n");
    return 2;
  }
  std::string role = argv[1];
  double maxSeconds = std::atof(argv[4]);
  KorvanelSharedBlock* block = openBlock(maxSeconds);
  if (block == nullptr) {
    std::fprintf(stderr, "concurrency_reader: the shared block did not appear\n");
    return 1;
  }
  auto start = Clock::now();
  Counts counts;
  if (role == "display") {
    Display display(block, argv[2], argv[3], maxSeconds);
    display.run();
    counts = display.counts;
  } else if (role == "resetter") {
    Resetter resetter(block, argv[2], argv[3], maxSeconds, argc > 5 ? std::atol(argv[5]) : 1000000);
    resetter.run();
    counts = resetter.counts;
  } else {
    std::fprintf(stderr, "concurrency_reader: unknown role %s\n", role.c_str());
    return 2;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("role=%s\nseconds=%.2f\npasses=%ld\ninvalid=%ld\n", role.c_str(), seconds,
              counts.passes, counts.invalid);
  if (role == "display") {
    std::printf(
        "rows_checked=%ld\nsweeps=%ld\nundone=%ld\ngroup_mismatches=%ld\n"
        "vehicle_resets_observed=%ld\ntrack_resets_observed=%ld\n",
        counts.rowsChecked, counts.sweeps, counts.undone, counts.groupMismatches,
        counts.vehicleResetsObserved, counts.trackResetsObserved);
  } else {
    std::printf(
        "vehicle_resets_sent=%ld\ntrack_resets_sent=%ld\nvehicle_resets_seen=%ld\n"
        "track_resets_seen=%ld\nresets_lost=%ld\nwrong_total_reset=%ld\n"
        "never_cleared=%ld\ninterrupted=%ld\nlongest_clear_ms=%.1f\n",
        counts.resetsSent[0], counts.resetsSent[1], counts.resetsSeen[0], counts.resetsSeen[1],
        counts.resetsLost[0] + counts.resetsLost[1], counts.wrongTotalReset, counts.neverCleared,
        counts.interrupted, counts.longestClearMs);
  }
  munmap(block, KORVANEL_SHARED_BLOCK_SIZE);
  return 0;
}

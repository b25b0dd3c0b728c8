// Helpers shared by the tests: host records to fill, a clock to step, and
// a scratch folder to work in.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/host_records.h"

namespace korvanel::testing {

// A scoring record with its vehicles; `record()` points the header at them.
class ScoringBuilder {
 public:
  ScoringBuilder();
  HostVehicle& addVehicle(const char* driver, uint8_t place, const char* vehicleClass = "GT3",
                          const char* vehicle = nullptr);
  HostScoring& header() { return header_; }
  std::vector<HostVehicle>& vehicles() { return vehicles_; }
  const HostScoring* record();
  void setHostText(const std::string& text) { text_ = text; }

 private:
  HostScoring header_{};
  std::vector<HostVehicle> vehicles_;
  std::string text_;
};

// What a "\n" written in text mode becomes on disk here ("\r\n" on
// Windows), and `text` with each "\n" turned into it.
const std::string& textLineEnd();
std::string onDisk(const std::string& text);

HostTelemetry makeTelemetry(const char* vehicleName = "Formula Car 2");

// splitmix64: a seeded generator whose cases are the same on every build.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  // The next 64 random bits.
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Uniform in [0, n); REQUIRES: n > 0.
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

// Replaces the platform tick while alive; time moves only when told.
class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 100000);
  ~FakeClock();
  void set(uint32_t tick);
  void advance(uint32_t ms);
  uint32_t now() const;
};

// Makes a fresh folder the working directory while alive, with a
// Plugins/KORVANEL folder inside unless asked not to.
class ScratchFolder {
 public:
  explicit ScratchFolder(bool withPluginFolder = true);
  ~ScratchFolder();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path pluginFolder() const { return path_ / "Plugins" / "KORVANEL"; }
  void writeFile(const std::string& relative, const std::string& contents) const;
  std::string readFile(const std::string& relative) const;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// Holds the data lock on a thread of its own from construction until
// destruction, as display code in the host's process does while it reads;
// the constructor returns once the lock is held.
class LockHeldElsewhere {
 public:
  LockHeldElsewhere();
  ~LockHeldElsewhere();
  LockHeldElsewhere(const LockHeldElsewhere&) = delete;
  LockHeldElsewhere& operator=(const LockHeldElsewhere&) = delete;

 private:
  std::atomic<int> stage_{0};  // 1 held, 2 to be released
  std::thread holder_;
};

}  // namespace korvanel::testing

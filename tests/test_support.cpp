// Test helpers.
#include "tests/test_support.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "platform/platform.h"
#include "publish/data_lock.h"

namespace korvanel::testing {
namespace {

std::atomic<uint32_t> gFakeTick{0};
uint32_t fakeTick() { return gFakeTick.load(); }

}  // namespace

ScoringBuilder::ScoringBuilder() {
  std::snprintf(header_.trackName, sizeof header_.trackName, "%s", "Big Oval");
  header_.session = 10;
  header_.currentTime = 120.0;
  header_.lapLength = 5000.0;
  header_.phase = 5;
  vehicles_.reserve(1024);
}

HostVehicle& ScoringBuilder::addVehicle(const char* driver, uint8_t place, const char* vehicleClass,
                                        const char* vehicle) {
  HostVehicle v{};
  std::snprintf(v.driverName, sizeof v.driverName, "%s", driver);
  std::snprintf(v.vehicleName, sizeof v.vehicleName, "%s", vehicle ? vehicle : driver);
  std::snprintf(v.vehicleClass, sizeof v.vehicleClass, "%s", vehicleClass);
  v.place = place;
  v.control = 2;  // driven by the computer unless a test says otherwise
  v.bestSector1 = v.bestSector2 = v.bestLapTime = -1.0;
  v.lastSector1 = v.lastSector2 = v.lastLapTime = -1.0;
  v.currentSector1 = v.currentSector2 = -1.0;
  v.orientation[0] = v.orientation[4] = v.orientation[8] = 1.0;
  vehicles_.push_back(v);
  return vehicles_.back();
}

const HostScoring* ScoringBuilder::record() {
  header_.vehicleCount = static_cast<int32_t>(vehicles_.size());
  header_.vehicles = vehicles_.empty() ? nullptr : vehicles_.data();
  header_.hostText = text_.c_str();
  return &header_;
}

const std::string& textLineEnd() {
  static const std::string lineEnd = [] {
    std::filesystem::path p = std::filesystem::temp_directory_path() / "korvanel-line-end.txt";
    std::FILE* f = std::fopen(p.string().c_str(), "w");
    if (!f) return std::string("\n");
    std::fputs("\n", f);
    std::fclose(f);
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::error_code ec;
    std::filesystem::remove(p, ec);
    return bytes.empty() ? std::string("\n") : bytes;
  }();
  return lineEnd;
}

std::string onDisk(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += textLineEnd();
    } else {
      out += c;
    }
  }
  return out;
}

HostTelemetry makeTelemetry(const char* vehicleName) {
  HostTelemetry t{};
  std::snprintf(t.vehicleName, sizeof t.vehicleName, "%s", vehicleName);
  t.deltaTime = 1.0 / 90.0;
  t.lapNumber = 1;
  return t;
}

FakeClock::FakeClock(uint32_t start) {
  gFakeTick = start;
  platform::setTickSourceForTesting(&fakeTick);
}
FakeClock::~FakeClock() { platform::setTickSourceForTesting(nullptr); }
void FakeClock::set(uint32_t tick) { gFakeTick = tick; }
void FakeClock::advance(uint32_t ms) { gFakeTick += ms; }
uint32_t FakeClock::now() const { return gFakeTick.load(); }

ScratchFolder::ScratchFolder(bool withPluginFolder) {
  namespace fs = std::filesystem;
  previous_ = fs::current_path();
  std::random_device device;
  char name[64];
  std::snprintf(name, sizeof name, "korvanel-test-%08x%08x", device(), device());
  path_ = fs::temp_directory_path() / name;
  fs::create_directories(path_);
  if (withPluginFolder) fs::create_directories(pluginFolder());
  fs::current_path(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

void ScratchFolder::writeFile(const std::string& relative, const std::string& contents) const {
  std::filesystem::path p = path_ / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << contents;
}

std::string ScratchFolder::readFile(const std::string& relative) const {
  std::ifstream in(path_ / relative, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

LockHeldElsewhere::LockHeldElsewhere()
    : holder_([this] {
        platform::lockEnter(dataLock());
        stage_ = 1;
        while (stage_ != 2) std::this_thread::yield();
        platform::lockLeave(dataLock());
      }) {
  while (stage_ != 1) std::this_thread::yield();
}

LockHeldElsewhere::~LockHeldElsewhere() {
  stage_ = 2;
  holder_.join();
}

}  // namespace korvanel::testing

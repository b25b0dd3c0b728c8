// The odometer on an arbitrary KM.txt and arbitrary vehicle and track
// names: it loads finite totals, and a save afterwards writes exactly its two
// keys, which read back as written, leaves every other key of the file as it
// read before, and leaves no temporary file behind. A save that cannot be
// made leaves the file byte for byte as it was.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/ini_probes.h"
#include "fuzz/plugin_harness.h"
#include "settings/ini_file.h"
#include "settings/odometer.h"
#include "settings/profile.h"
#include "text/ascii_text.h"

using namespace korvanel;
using namespace korvanel::fuzz;

namespace {

constexpr char kNativePath[] = "Plugins/KORVANEL/KM.txt";

std::string readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A name of up to 63 input bytes, ending at the first NUL.
void takeName(FuzzInput& in, char (&name)[64]) {
  size_t length = in.take<uint8_t>() % 64;
  std::memset(name, 0, sizeof name);
  in.bytes(name, length);
}

// What a stored total reads back as: its "%f" text, parsed.
double storedAs(double total, double otherwise) {
  char text[kProfileBufferSize];
  return formatProfileFloat(total, text, sizeof text) ? parseProfileNumber(text) : otherwise;
}

// A total as the text holds it; missing or damaged counts as 0.
double storedTotal(const std::string& text, const char* section, const char* key) {
  char value[kProfileBufferSize] = "";
  if (!findIniValue(text, section, key, value, sizeof value)) return 0.0;
  double total = parseProfileNumber(value);
  return std::isfinite(total) ? total : 0.0;
}

struct Lookup {
  bool found;
  std::string value;
};

Lookup lookUp(const std::string& text, const std::string& section, const std::string& key) {
  char value[kProfileBufferSize] = "";
  bool found = findIniValue(text, section.c_str(), key.c_str(), value, sizeof value);
  return {found, value};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = enterScratchFolder(nullptr);
  FuzzInput in(data, size);
  const uint8_t flags = in.take<uint8_t>();
  char vehicle[64];
  char track[64];
  takeName(in, vehicle);
  takeName(in, track);
  double distance = (flags & 2) ? specialDouble(in.take<uint8_t>()) : in.take<uint16_t>() / 8.0;

  // Without a file (flag 1) the rest of the input is not used.
  std::remove(kNativePath);
  const std::string before =
      (flags & 1) ? std::string()
                  : std::string(reinterpret_cast<const char*>(in.rest()), in.remaining());
  if (!(flags & 1)) std::ofstream(kNativePath, std::ios::binary) << before;

  Odometer odometer;
  char vehicleArg[64];
  char trackArg[64];
  std::memcpy(vehicleArg, vehicle, sizeof vehicle);
  std::memcpy(trackArg, track, sizeof track);
  odometer.select(vehicleArg, trackArg);
  FUZZ_CHECK(odometer.loaded == (vehicle[0] != 0 && track[0] != 0));
  FUZZ_CHECK(std::isfinite(odometer.vehicleTotal) && std::isfinite(odometer.trackTotal));
  const double loadedVehicle = odometer.vehicleTotal;
  const double loadedTrack = odometer.trackTotal;
  const std::string trackKey = std::string(odometer.vehicleKey) + "[" + odometer.trackKey + "]";
  if (odometer.loaded) {
    // The file reader found what the writer's parser finds in the same text.
    FUZZ_CHECK(loadedVehicle == storedTotal(before, "KM", odometer.vehicleKey));
    FUZZ_CHECK(loadedTrack == storedTotal(before, "KM_TRACKS", trackKey.c_str()));
  }

  odometer.add(distance);
  odometer.save();
  const std::string after = readAll(kNativePath);  // empty when there is none

  for (const auto& entry : std::filesystem::directory_iterator("Plugins/KORVANEL")) {
    FUZZ_CHECK(entry.path().filename() == "KM.txt");
  }
  if (!odometer.loaded) {
    FUZZ_CHECK(after == before);
    return 0;
  }
  if (odometer.dirty) {  // not saved: nothing may have changed
    FUZZ_CHECK(after == before);
    return 0;
  }

  // The two totals read back as stored, through the same load.
  Odometer reread;
  std::memcpy(vehicleArg, vehicle, sizeof vehicle);
  std::memcpy(trackArg, track, sizeof track);
  reread.select(vehicleArg, trackArg);
  // A total too long to write leaves the key's own value, which may carry
  // more than six decimals, and the odometer shows that value as it is.
  FUZZ_CHECK(reread.vehicleTotal == storedAs(odometer.vehicleTotal, loadedVehicle) ||
             reread.vehicleTotal == odometer.vehicleTotal);
  FUZZ_CHECK(reread.trackTotal == storedAs(odometer.trackTotal, loadedTrack) ||
             reread.trackTotal == odometer.trackTotal);

  // Every other key of the file reads as before.
  for (const Probe& probe : findProbes(before, 64)) {
    bool written = (equalsIgnoreCase(probe.first.c_str(), "KM") &&
                    equalsIgnoreCase(probe.second.c_str(), odometer.vehicleKey)) ||
                   (equalsIgnoreCase(probe.first.c_str(), "KM_TRACKS") &&
                    equalsIgnoreCase(probe.second.c_str(), trackKey.c_str()));
    if (written) continue;
    Lookup was = lookUp(before, probe.first, probe.second);
    Lookup now = lookUp(after, probe.first, probe.second);
    if (was.found != now.found || was.value != now.value) {
      std::fprintf(stderr, "[%s] %s changed: %d \"%s\" -> %d \"%s\"\n", probe.first.c_str(),
                   probe.second.c_str(), was.found, was.value.c_str(), now.found,
                   now.value.c_str());
    }
    FUZZ_CHECK(was.found == now.found && was.value == now.value);
  }
  return 0;
}

// What the fuzz targets share: a scratch folder to work in, one plugin
// object driven through its update calls, a clock the input sets, hostile
// host records built from fuzz bytes, and the checks every published block
// must pass whatever the host sent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "host/host_records.h"

namespace korvanel {
class RenderPlugin;
}

namespace korvanel::fuzz {

// A failed check is a finding: report it and abort, so the fuzzer keeps the
// input and the replay test fails.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

// Makes a fresh folder under the temporary folder the working directory for
// the rest of the process, with Plugins/KORVANEL inside, and gives the
// process's named objects a name of their own. `config` becomes the
// configuration file when not null. Returns the folder.
std::string enterScratchFolder(const char* config);

// The tick the plugin sees; the input sets it.
void setTick(uint32_t tick);
uint32_t tick();

// The configuration the update targets run with: rows of every pattern
// kind, and a team list.
extern const char kFuzzConfig[];

// The plugin object of the update targets, created on first use in its own
// scratch folder.
RenderPlugin& plugin();

// Puts the process-wide state back to a known start, so that an input
// means the same whatever ran before it: a fresh session with cleared
// blocks and no odometer file.
void beginCase(uint32_t startTick);

// A host scoring record and the vehicles and text behind it, every byte
// chosen by the input: any header, `vehicleCount` from -1 to 1000 with that
// many records behind it, texts without terminators, NaN and infinite
// doubles placed where the input says.
class HostileScoring {
 public:
  void build(FuzzInput& in);
  const HostScoring* record() const { return &header_; }
  int32_t count() const { return header_.vehicleCount; }

 private:
  HostScoring header_{};
  std::vector<HostVehicle> vehicles_;
  std::vector<char> text_;
};

// A host telemetry record from 1888 input bytes, with special doubles
// placed where the input says.
HostTelemetry hostileTelemetry(FuzzInput& in);

// Writes the display program's bytes of the input into the shared block's
// state record: all 56 bytes when `whole`, else the four command bytes.
void writeDisplayBytes(FuzzInput& in, bool whole);

// What must hold after any scoring update and after any telemetry update.
void checkAfterScoring();
void checkAfterTelemetry(uint8_t commandBefore, const HostTelemetry& telemetry);

}  // namespace korvanel::fuzz

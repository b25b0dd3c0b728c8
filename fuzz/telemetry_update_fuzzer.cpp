// The telemetry update fed with hostile host records: one to four telemetry
// records of any bytes, with NaN and infinite doubles where the input says,
// unterminated vehicle names, any tick steps (the counter may wrap), and any
// command and KERS bytes in the shared block before each update. A hostile
// scoring update may come first, so that dead reckoning and the KERS timer
// run over whatever block it left.
#include <cstdint>

#include "fuzz/plugin_harness.h"
#include "plugin/render_plugin.h"
#include "publish/shared_block.h"

using namespace korvanel;
using namespace korvanel::fuzz;

namespace {

struct Step {
  uint32_t delay;
  uint8_t displayBytes[4];
  HostTelemetry telemetry;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint32_t start = in.take<uint32_t>();
  const uint8_t plan = in.take<uint8_t>();
  beginCase(start);
  RenderPlugin& p = plugin();
  if (plan & 1) p.enterRealtime();
  writeDisplayBytes(in, (plan & 2) != 0);

  Step steps[4];
  const int count = 1 + in.take<uint8_t>() % 4;
  for (int i = 0; i < count; ++i) {
    steps[i].delay = in.take<uint32_t>();
    in.bytes(steps[i].displayBytes, sizeof steps[i].displayBytes);
    steps[i].telemetry = hostileTelemetry(in);
  }
  if (plan & 4) {
    HostileScoring scoring;
    scoring.build(in);
    p.updateScoring(scoring.record());
    checkAfterScoring();
  }

  for (int i = 0; i < count; ++i) {
    setTick(tick() + steps[i].delay);
    SharedBlock* block = sharedBlock();
    if (block && (plan & 8)) {
      block->state.distanceResetCommand = steps[i].displayBytes[0];
      block->state.kersTimerOn = steps[i].displayBytes[1];
      block->state.kersRunning = steps[i].displayBytes[2];
      block->state.selectedClassRow = steps[i].displayBytes[3];
    }
    uint8_t command = block ? block->state.distanceResetCommand : 0;
    p.updateTelemetry(&steps[i].telemetry);
    checkAfterTelemetry(command, steps[i].telemetry);
  }
  if (plan & 16) p.endSession();
  return 0;
}

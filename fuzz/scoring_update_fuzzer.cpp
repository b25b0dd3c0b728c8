// The scoring update fed with hostile host records: any header bytes, any
// vehicle bytes, vehicleCount from -1 to 1000 backed by exactly that many
// records, texts without terminators, NaN and infinite doubles, and any
// bytes a display program may leave in the shared block's state record.
// A telemetry update may follow (dead reckoning over the same block), and a
// second scoring update past the early phase runs the one-time scan.
#include <cstdint>

#include "fuzz/plugin_harness.h"
#include "plugin/render_plugin.h"
#include "publish/shared_block.h"

using namespace korvanel;
using namespace korvanel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint32_t start = in.take<uint32_t>();
  const uint8_t plan = in.take<uint8_t>();
  const uint16_t firstDelay = in.take<uint16_t>();
  const uint16_t secondDelay = in.take<uint16_t>();
  beginCase(start);
  RenderPlugin& p = plugin();
  if (plan & 1) p.enterRealtime();
  writeDisplayBytes(in, (plan & 2) != 0);

  HostileScoring scoring;
  scoring.build(in);

  setTick(start + firstDelay);
  p.updateScoring(scoring.record());
  checkAfterScoring();

  if (plan & 4) {
    HostTelemetry t{};
    std::snprintf(t.vehicleName, sizeof t.vehicleName, "Fuzz Car %u", plan);
    t.deltaTime = 1.0 / 90.0;
    t.lapNumber = 2;
    t.localVelocity[2] = 55.0;
    t.position[0] = 12.5;
    setTick(tick() + 11);
    uint8_t command = sharedBlock() ? sharedBlock()->state.distanceResetCommand : 0;
    p.updateTelemetry(&t);
    checkAfterTelemetry(command, t);
  }
  if (plan & 8) {
    setTick(start + 5001u + secondDelay);  // past the early phase: the scan runs
    p.updateScoring(scoring.record());
    checkAfterScoring();
  }
  if (plan & 16) p.endSession();
  return 0;
}

// Placeholder until the sector records land.
#include "timing/sector_records.h"

namespace korvanel {

void AbsoluteSectorTimes::update(const HostScoring&) {}

void AbsoluteSectorTimes::reset() {
  for (int s = 0; s < 3; ++s) {
    recordTime[s] = -1.0f;
    playerRecordTime[s] = -1.0f;
    recordHolder[s][0] = 0;
  }
  earlyTimesSeen = 0;
}

}  // namespace korvanel

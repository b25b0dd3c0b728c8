// The published telemetry block: the latest host telemetry record followed
// by the lap-time estimate and the five pace figures. The layout is the
// reader header's (korvanel/shared_block.h).
#pragma once

#include "host/host_records.h"
#include "korvanel/shared_block.h"

namespace korvanel {

using TelemetryInfoV2 = KorvanelTelemetryInfoV2;

}  // namespace korvanel

// The module-wide published blocks: one of each per process, at addresses
// that never change, handed to in-process readers by the getters.
#pragma once

#include "publish/host_state.h"
#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"
#include "timing/sector_records.h"
#include "timing/time_table.h"

namespace korvanel {

TelemetryInfoV2& publishedTelemetry();
ScoringInfoV2& publishedScoring();
TimeTable& publishedTimeTable();
AbsoluteSectorTimes& publishedSectorTimes();

// The state record, in the section shared by every process that loads the
// library; the first use fills it (all zero but `playerIndex`, which is -1).
HostState& hostState();
// The scoring clock's reset byte, in the same shared section.
uint8_t& scoringClockReset();

}  // namespace korvanel

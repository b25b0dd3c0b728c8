// The race engineer's parts of the snapshot document (docs/snapshot.md):
// classes, relative, delta, fuel and history, and the "engineer" block that
// says since when the history runs.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

// The engineer's keys for the SnapshotPart bits in `parts` (kPartClasses,
// kPartRelative, kPartDelta, kPartFuel, kPartHistory; other bits are
// ignored), plus "engineer" when any of them is asked. An empty object
// when none is. Merge it into a snapshot document with json::update().
nlohmann::json engineerJson(const EngineerView& view, unsigned parts);

// Adds engineerJson(view, parts) to `document`, which must be an object.
void addEngineerJson(nlohmann::json& document, const EngineerView& view, unsigned parts);

}  // namespace korvanel::tools::engineer

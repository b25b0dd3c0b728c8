// The race picture of one copy of the shared block as JSON: the one shape
// that `korvanel-monitor --json` prints and `korvanel-live` serves and
// streams. Names are those of the block's fields; only the vehicles of the
// current update and the timing entries in use are listed. docs/snapshot.md
// describes every field.
#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "korvanel/shared_block.h"
#include "tools/reader/block_source.h"

namespace korvanel::tools {

// Raised whenever a field changes meaning or goes away (not when one is added).
constexpr int kSnapshotSchemaVersion = 1;
// Raised with every addition (a part or a field); docs/snapshot.md lists them.
constexpr int kSnapshotSchemaRevision = 3;

// Parts of the picture a client can ask for; the envelope (schema version,
// status, layout, whole, sequence, update count, time stamp) always comes.
enum SnapshotPart : unsigned {
  kPartSession = 1u << 0,    // state, scoringPublished, session
  kPartStandings = 1u << 1,  // scoring, vehicles
  kPartPlayer = 1u << 2,     // scoring, telemetry, and the player's vehicle
  kPartRecords = 1u << 3,    // timeTable, sectorRecords
  kPartClasses = 1u << 4,    // the race engineer's classes, classStandings
  kPartRelative = 1u << 5,   // the race engineer's relative
  kPartDelta = 1u << 6,      // the race engineer's live delta of the player
  kPartFuel = 1u << 7,       // the race engineer's fuel and strategy
  kPartHistory = 1u << 8,    // the race engineer's sessionBests, history
  kPartAll = 511u,
};

// What is known about a copy beside its bytes.
struct SnapshotMeta {
  CopyResult copy;
  std::string status = "publishing";  // see docs/snapshot.md for the values
  std::string timeStamp;              // UTC, ISO 8601 with milliseconds
  std::string problem;  // for "refused": why the object of the block's name was not read
};

// The picture of `block` with the parts in `parts` (SnapshotPart bits).
nlohmann::json snapshotJson(const KorvanelSharedBlock& block, const SnapshotMeta& meta,
                            unsigned parts = kPartAll);
// The envelope alone, for the states without a picture (no plugin, unknown layout).
nlohmann::json statusJson(const SnapshotMeta& meta);
// The document as text; bytes that are not UTF-8 become U+FFFD. `indent` < 0: one line.
// `ascii`: every character past ASCII as a \u escape, as for a terminal,
// which could take U+0080 to U+009F for commands.
std::string snapshotText(const nlohmann::json& document, int indent, bool ascii = false);
// `when` as "2026-01-31T12:00:00.000Z".
std::string utcTimeStamp(std::chrono::system_clock::time_point when);

}  // namespace korvanel::tools

namespace korvanel::tools {

// The status word of a copy taken from an open block: "unknown-layout" when
// its stamp is not one this build reads, "stopped" after the host shut the
// plugin down, else "publishing". Readers that watch the update counter
// over time also say "idle"; one that finds no block says "no-plugin", and one
// that finds something of the name it will not read says "refused".
const char* publishingStatus(const KorvanelSharedBlock& block, const CopyResult& copy);

}  // namespace korvanel::tools

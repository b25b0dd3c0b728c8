// What korvanel-live accepts from clients, checked before anything is
// written: command documents, stream options, the token.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/engineer/race_engineer.h"
#include "tools/reader/block_commands.h"
#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {

// A request that cannot be carried out: the HTTP status and why.
struct Refusal {
  int status = 0;  // 0: accepted
  std::string reason;
  explicit operator bool() const { return status != 0; }
};

// A command document: an object with one or more of "classRow" (0 to 255),
// "resetOdometer" ("vehicle" or "track") and "kers" ("on", "off", "run",
// "stop"), and, where `raceLength` is given, "raceLength" ({"laps": N},
// {"minutes": M} or null for unknown). Fills the outputs only when the whole
// document is valid; otherwise 422 with the reason.
Refusal parseCommands(const nlohmann::json& document, BlockCommands& out,
                      std::optional<engineer::RaceLength>* raceLength = nullptr);

// A race length as a URL gives it: "30L" thirty laps, "45m" forty-five
// minutes, "none" unknown. False for anything else.
bool parseRaceLength(std::string_view text, engineer::RaceLength& out);

// Stream options from a query string ("rate=30&parts=session,standings")
// or from a client's message. `rate` 1 to 60 a second; `parts` SnapshotPart bits.
struct StreamOptions {
  int rate = 10;
  unsigned parts = kPartAll;
  std::string car;  // a followed car's topic level; empty: the default car
  // The race's length the query gave (race=30L), for the server's engineer.
  std::optional<engineer::RaceLength> race;
};
// Returns a 400 refusal for unknown keys, rates out of range, unknown parts
// and car names that are no topic level.
Refusal parseStreamQuery(std::string_view query, StreamOptions& options);
// The same from a JSON object with "rate" and/or "parts" (an array of names).
Refusal parseStreamMessage(const nlohmann::json& message, StreamOptions& options);

// Compares in time that does not depend on where the texts differ.
bool sameToken(std::string_view given, std::string_view expected);

// 32 hexadecimal digits from the system's random source.
std::string newToken();

}  // namespace korvanel::tools::live

// Field by field, so the JSON names stay stable whatever the layout.
#include "tools/reader/snapshot_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>

#include "tools/reader/block_source.h"

namespace korvanel::tools {
namespace {

using nlohmann::json;

// The block's doubles may sit at addresses that are not multiples of 8
// (the host's 4-byte packing): they are copied out, never referred to.
json vec3(const void* field) {
  double v[3];
  std::memcpy(v, field, sizeof v);
  return json::array({v[0], v[1], v[2]});
}

double length(const void* field) {
  double v[3];
  std::memcpy(v, field, sizeof v);
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double num(double value) { return value; }

json stateJson(const KorvanelHostState& s) {
  return {{"sessionActive", s.sessionActive},
          {"trackLoaded", s.trackLoaded},
          {"inRealtime", s.inRealtime},
          {"noPlayerVehicle", s.noPlayerVehicle},
          {"playerPlace", s.playerPlace},
          {"playerIndex", s.playerIndex},
          {"timeSinceScoring", s.timeSinceScoring},
          {"updateCount", s.updateCount},
          {"dataUpdated", s.dataUpdated},
          {"vehicleDistance", num(s.vehicleDistance)},
          {"vehicleTrackDistance", num(s.vehicleTrackDistance)},
          {"distanceResetCommand", s.distanceResetCommand},
          {"shutDown", s.shutDown},
          {"selectedClassRow", s.selectedClassRow},
          {"kersTimerOn", s.kersTimerOn},
          {"kersRunning", s.kersRunning},
          {"kersRemaining", s.kersRemaining},
          {"closed", s.closed}};
}

json telemetryJson(const KorvanelTelemetryInfoV2& t) {
  const KorvanelHostTelemetry& h = t.telemetry;
  return {{"deltaTime", num(h.deltaTime)},
          {"lapNumber", h.lapNumber},
          {"lapStartTime", num(h.lapStartTime)},
          {"vehicleName", fieldText(h.vehicleName)},
          {"position", vec3(h.position)},
          {"localVelocity", vec3(h.localVelocity)},
          {"speed", length(h.localVelocity)},
          {"fuelLevel", num(h.fuelLevel)},
          {"estimatedLapTime", t.estimatedLapTime},
          {"lapsOfFuelLeft", t.lapsOfFuelLeft},
          {"fuelPerSecond", t.fuelPerSecond},
          {"lastLapFuel", t.lastLapFuel},
          {"fuelPerLap", t.fuelPerLap},
          {"distancePerFuel", t.distancePerFuel}};
}

json vehicleJson(const KorvanelVehicleInfoV2& e, int index) {
  const KorvanelHostVehicle& v = e.host;
  return {{"index", index},
          {"driverName", fieldText(v.driverName)},
          {"vehicleName", fieldText(v.vehicleName)},
          {"vehicleClass", fieldText(v.vehicleClass)},
          {"place", v.place},
          {"lapsCompleted", v.lapsCompleted},
          {"sector", v.sector},
          {"vehicleStatus", v.vehicleStatus},
          {"lapDistance", num(v.lapDistance)},
          {"bestLapTime", num(v.bestLapTime)},
          {"bestSector1", num(v.bestSector1)},
          {"bestSector2", num(v.bestSector2)},
          {"lastLapTime", num(v.lastLapTime)},
          {"lastSector1", num(v.lastSector1)},
          {"lastSector2", num(v.lastSector2)},
          {"currentSector1", num(v.currentSector1)},
          {"currentSector2", num(v.currentSector2)},
          {"isPlayer", v.isPlayer},
          {"control", v.control},
          {"inPits", v.inPits},
          {"timeBehindNext", num(v.timeBehindNext)},
          {"lapsBehindNext", v.lapsBehindNext},
          {"timeBehindLeader", num(v.timeBehindLeader)},
          {"lapsBehindLeader", v.lapsBehindLeader},
          {"position", vec3(v.position)},
          {"speed", length(v.localVelocity)},
          {"teamMember", e.teamMember},
          {"classPosition", e.classPosition},
          {"topSpeed", e.topSpeed},
          {"lapProgress", e.lapProgress},
          {"driverNameUpper", fieldText(e.driverNameUpper)},
          {"vehicleClassUpper", fieldText(e.vehicleClassUpper)},
          {"inClassGroup", e.inClassGroup},
          {"previousGroupMember", e.previousGroupMember},
          {"timeBehindClassLeader", e.timeBehindClassLeader},
          {"lapDiffToClassLeader", e.lapDiffToClassLeader},
          {"timeBehindClassAhead", e.timeBehindClassAhead},
          {"lapDiffToClassAhead", e.lapDiffToClassAhead},
          {"timeGapToPlayer", e.timeGapToPlayer},
          {"lapGapToPlayer", e.lapGapToPlayer},
          {"estimatedPosition", vec3(e.estimatedPosition)}};
}

json timeTableJson(const KorvanelTimeTable& t) {
  json entries = json::array();
  for (int i = 0; i < KORVANEL_TIME_TABLE_ENTRIES; ++i) {
    const KorvanelTimeTableEntry& e = t.entries[i];
    if (!e.inUse) continue;
    entries.push_back({{"slot", i},
                       {"driverName", fieldText(e.driverName)},
                       {"vehicleName", fieldText(e.vehicleName)},
                       {"vehicleClass", fieldText(e.vehicleClass)},
                       {"vehicleIndex", e.vehicleIndex},
                       {"place", e.place},
                       {"bestLapTime", e.bestLapTime},
                       {"bestSector1", e.bestSector1},
                       {"bestSector2", e.bestSector2},
                       {"topSpeed", e.topSpeed},
                       {"stintTopSpeed", e.stintTopSpeed},
                       {"isPlayerVehicle", e.isPlayerVehicle},
                       {"seenThisUpdate", e.seenThisUpdate},
                       {"vehicleStatus", e.vehicleStatus}});
  }
  return {{"entries", entries},
          {"fastestLap",
           {{"time", t.fastestLapTime},
            {"sector1", t.fastestLapSector1},
            {"sector2", t.fastestLapSector2},
            {"driver", fieldText(t.fastestLapDriver)}}},
          {"earlyTimesSeen", t.earlyTimesSeen},
          {"playerBestLap",
           {{"time", t.playerBestLapTime},
            {"sector1", t.playerBestSector1},
            {"sector2", t.playerBestSector2}}}};
}

json sectorJson(const KorvanelAbsoluteSectorTimes& s) {
  json records = json::array();
  for (int slot = 0; slot < 3; ++slot) {
    records.push_back({{"slot", slot},
                       {"time", s.recordTime[slot]},
                       {"holder", fieldText(s.recordHolder[slot])},
                       {"playerTime", s.playerRecordTime[slot]}});
  }
  return {{"slots", records}, {"earlyTimesSeen", s.earlyTimesSeen}};
}

}  // namespace

json snapshotJson(const KorvanelSharedBlock& block, const SnapshotMeta& meta, unsigned parts) {
  const KorvanelScoringInfoV2& s = block.scoring;
  json out = statusJson(meta);
  out["whole"] = meta.copy.whole;
  out["updateCount"] = block.state.updateCount;
  if (parts & kPartSession) {
    out["state"] = stateJson(block.state);
    out["scoringPublished"] = block.scoringPublished;
    out["session"] = {{"trackName", fieldText(s.trackName)},
                      {"session", s.session},
                      {"currentTime", num(s.currentTime)},
                      {"lapLength", num(s.lapLength)},
                      {"hostText", fieldText(s.hostText)},
                      {"vehicleCount", s.vehicleCount},
                      {"phase", s.phase},
                      {"realtimeFlag", s.realtimeFlag}};
  }
  if (parts & (kPartStandings | kPartPlayer)) {
    out["scoring"] = {{"playerPlace", s.playerPlace},
                      {"playerClassPosition", s.playerClassPosition},
                      {"playerIndex", s.playerIndex},
                      {"classLeaderIndex", s.classLeaderIndex},
                      {"noClassGroup", s.noClassGroup}};
  }
  if (parts & kPartPlayer) out["telemetry"] = telemetryJson(block.telemetry);
  if (parts & kPartStandings) {
    int counted = s.vehicleCount < 0                       ? 0
                  : s.vehicleCount > KORVANEL_MAX_VEHICLES ? KORVANEL_MAX_VEHICLES
                                                           : s.vehicleCount;
    json vehicles = json::array();
    for (int i = 0; i < counted; ++i) vehicles.push_back(vehicleJson(s.vehicles[i], i));
    out["vehicles"] = std::move(vehicles);
  } else if ((parts & kPartPlayer) && s.playerIndex >= 0 && s.playerIndex < KORVANEL_MAX_VEHICLES &&
             s.playerIndex < s.vehicleCount) {
    out["vehicles"] = json::array({vehicleJson(s.vehicles[s.playerIndex], s.playerIndex)});
  }
  if (parts & kPartRecords) {
    out["timeTable"] = timeTableJson(block.timeTable);
    out["sectorRecords"] = sectorJson(block.sectorTimes);
  }
  return out;
}

json statusJson(const SnapshotMeta& meta) {
  json out = {{"schemaVersion", kSnapshotSchemaVersion},
              {"schemaRevision", kSnapshotSchemaRevision},
              {"status", meta.status},
              {"layout",
               {{"stamp", meta.copy.layoutStamp},
                {"check", layoutCheckName(checkLayoutStamp(meta.copy.layoutStamp))}}},
              {"layoutStamp", meta.copy.layoutStamp},
              {"whole", false},
              {"sequence", meta.copy.sequence},
              {"updateCount", 0},  // no copy of the state record was read
              {"timeStamp", meta.timeStamp}};
  if (!meta.problem.empty()) out["problem"] = meta.problem;
  return out;
}

std::string snapshotText(const json& document, int indent, bool ascii) {
  return document.dump(indent, ' ', ascii, json::error_handler_t::replace);
}

std::string utcTimeStamp(std::chrono::system_clock::time_point when) {
  // Civil date from days since 1970 (proleptic Gregorian), without the C
  // library's non-reentrant gmtime.
  using namespace std::chrono;
  int64_t ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
  int64_t days = ms / 86400000, rest = ms % 86400000;
  if (rest < 0) rest += 86400000, --days;
  int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", static_cast<int>(year),
                static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600000),
                static_cast<int>(rest / 60000 % 60), static_cast<int>(rest / 1000 % 60),
                static_cast<int>(rest % 1000));
  return text;
}

}  // namespace korvanel::tools

namespace korvanel::tools {

const char* publishingStatus(const KorvanelSharedBlock& block, const CopyResult& copy) {
  if (checkLayoutStamp(copy.layoutStamp) == LayoutCheck::kUnknown) return "unknown-layout";
  if (block.state.closed || block.state.shutDown) return "stopped";
  return "publishing";
}

}  // namespace korvanel::tools

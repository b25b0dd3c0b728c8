// The engineer's parts as JSON, with the field names of docs/snapshot.md.
// Unknown numbers are null where the struct holds none, -1 where the
// block's own convention for times applies (lap and sector times).
#include "tools/engineer/engineer_json.h"

#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::engineer {
namespace {

using nlohmann::json;

json optional(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

const char* markName(TimeMark mark) {
  switch (mark) {
    case TimeMark::kSession:
      return "session";
    case TimeMark::kPersonal:
      return "personal";
    case TimeMark::kNone:
      break;
  }
  return "none";
}

const char* relativeMarkName(RelativeMark mark) {
  switch (mark) {
    case RelativeMark::kPlayer:
      return "player";
    case RelativeMark::kLapping:
      return "lapping";
    case RelativeMark::kLapped:
      return "lapped";
    case RelativeMark::kSame:
      break;
  }
  return "same";
}

json sectorsJson(const std::array<double, kSectors>& sectors) {
  return json::array({sectors[0], sectors[1], sectors[2]});
}

json lapJson(const LapTimes& lap) {
  return {{"lap", lap.lap},
          {"time", lap.time},
          {"sectors", sectorsJson(lap.sectors)},
          {"pit", lap.pit}};
}

json classesJson(const EngineerView& view) {
  json classes = json::array();
  for (const ClassSummary& c : view.classes) {
    classes.push_back({{"name", c.name},
                       {"color", c.color},
                       {"carCount", c.carCount},
                       {"leaderIndex", c.leaderIndex},
                       {"bestLap", c.bestLap},
                       {"bestLapDriver", c.bestLapDriver}});
  }
  return classes;
}

json classStandingsJson(const EngineerView& view) {
  json standings = json::array();
  for (const ClassStanding& s : view.classStandings) {
    standings.push_back({{"index", s.index},
                         {"driverName", s.driverName},
                         {"vehicleClass", s.vehicleClass},
                         {"classPlace", s.classPlace},
                         {"classCount", s.classCount},
                         {"gapToClassLeader", s.gapToClassLeader},
                         {"lapsToClassLeader", s.lapsToClassLeader},
                         {"gapToClassAhead", s.gapToClassAhead},
                         {"lapsToClassAhead", s.lapsToClassAhead}});
  }
  return standings;
}

json sessionBestsJson(const SessionBests& bests) {
  json sectors = json::array();
  for (const TimedDriver& s : bests.sectors) {
    sectors.push_back({{"time", s.time}, {"driverName", s.driverName}});
  }
  return {{"lap", {{"time", bests.lap.time}, {"driverName", bests.lap.driverName}}},
          {"sectors", sectors}};
}

json historyJson(const EngineerView& view) {
  json history = json::array();
  for (const CarHistory& c : view.history) {
    json laps = json::array();
    for (const LapTimes& lap : c.laps) laps.push_back(lapJson(lap));
    json last = lapJson(c.lastLap);
    json marks = json::array();
    for (TimeMark m : c.lastLap.marks) marks.push_back(markName(m));
    last["marks"] = marks;
    history.push_back({{"index", c.index},
                       {"driverName", c.driverName},
                       {"vehicleClass", c.vehicleClass},
                       {"lastLap", last},
                       {"laps", laps},
                       {"bestLap", c.bestLap},
                       {"bestSectors", sectorsJson(c.bestSectors)},
                       {"averageLap", c.averageLap},
                       {"pit",
                        {{"inPits", c.pit.inPits},
                         {"stops", c.pit.stops},
                         {"pitLaneSeconds", c.pit.pitLaneSeconds},
                         {"lastStopSeconds", c.pit.lastStopSeconds},
                         {"stintLaps", c.pit.stintLaps}}},
                       {"gapTrend", optional(c.gapTrend)}});
  }
  return history;
}

json relativeJson(const EngineerView& view) {
  json cars = json::array();
  for (const RelativeCar& r : view.relative) {
    cars.push_back({{"index", r.index},
                    {"driverName", r.driverName},
                    {"vehicleClass", r.vehicleClass},
                    {"classColor", r.classColor},
                    {"gap", r.gap},
                    {"lapDifference", r.lapDifference},
                    {"mark", relativeMarkName(r.mark)},
                    {"inPits", r.inPits}});
  }
  return {{"cars", cars}};
}

json deltaJson(const EngineerView& view) {
  if (!view.hasPlayer) return nullptr;
  const Delta& d = view.delta;
  return {{"lapDistance", d.lapDistance}, {"toBest", optional(d.toBest)},
          {"toLast", optional(d.toLast)}, {"bestLap", d.bestLap},
          {"lastLap", d.lastLap},         {"predictedLap", optional(d.predictedLap)}};
}

json fuelJson(const EngineerView& view) {
  if (!view.hasPlayer) return nullptr;
  const Fuel& f = view.fuel;
  return {{"level", f.level},
          {"perLap", optional(f.perLap)},
          {"lapsCounted", f.lapsCounted},
          {"lapsLeft", optional(f.lapsLeft)},
          {"lapsToFinish", optional(f.lapsToFinish)},
          {"toFinish", optional(f.toFinish)},
          {"toAdd", optional(f.toAdd)}};
}

}  // namespace

json engineerJson(const EngineerView& view, unsigned parts) {
  json out = json::object();
  constexpr unsigned kEngineerParts =
      kPartClasses | kPartRelative | kPartDelta | kPartFuel | kPartHistory;
  if ((parts & kEngineerParts) == 0) return out;
  const RaceLength& length = view.raceLength;
  out["engineer"] = {
      {"since", utcTimeStamp(view.since)},
      {"raceLength",
       length.known() ? json{{"laps", length.laps}, {"minutes", length.minutes}} : json(nullptr)}};
  if (parts & kPartClasses) {
    out["classes"] = classesJson(view);
    out["classStandings"] = classStandingsJson(view);
  }
  if (parts & kPartHistory) {
    out["sessionBests"] = sessionBestsJson(view.sessionBests);
    out["history"] = historyJson(view);
  }
  if (parts & kPartRelative) out["relative"] = relativeJson(view);
  if (parts & kPartDelta) out["delta"] = deltaJson(view);
  if (parts & kPartFuel) out["fuel"] = fuelJson(view);
  return out;
}

void addEngineerJson(json& document, const EngineerView& view, unsigned parts) {
  document.update(engineerJson(view, parts));
}

}  // namespace korvanel::tools::engineer

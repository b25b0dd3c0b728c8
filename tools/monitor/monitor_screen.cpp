// Building the screen from one copy of the block. Speeds are shown in km/h
// and distances in km, from the host's metres. Columns are counted in
// characters (text_columns.h), so names past ASCII keep the table in line.
#include "tools/monitor/monitor_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "tools/monitor/text_columns.h"
#include "tools/reader/block_source.h"
#include "tools/reader/terminal_text.h"

namespace korvanel::tools {
namespace {

// A text field of the block as the screen may show it.
template <size_t N>
std::string printable(const char (&field)[N]) {
  return terminalText(fieldText(field));
}

// Longer than any session: 100 hours, or infinity, are not times to print
// digit by digit (nor to convert to int).
constexpr double kLongestTime = 360000.0;

std::string format(const char* pattern, ...) {
  char text[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

class Lines {
 public:
  explicit Lines(bool colour) : colour_(colour) {}
  std::string paint(const char* code, const std::string& text) const {
    return colour_ ? "\x1b[" + std::string(code) + "m" + text + "\x1b[0m" : text;
  }
  // `line` is cut to the screen's width before it is painted.
  void add(const std::string& line, const char* colour = nullptr) {
    std::string fitted = fitColumns(line, kScreenColumns);
    fitted.erase(fitted.find_last_not_of(' ') + 1);
    lines_.push_back(colour ? paint(colour, fitted) : fitted);
  }
  size_t count() const { return lines_.size(); }
  std::string text() const {
    std::string out;
    for (const std::string& line : lines_) out += line + (colour_ ? "\x1b[K\n" : "\n");
    return out;
  }

 private:
  bool colour_;
  std::vector<std::string> lines_;
};

const char* phaseName(int phase) {
  static const char* const names[] = {"before the session", "reconnaissance", "grid walk",
                                      "formation",          "countdown",      "green flag",
                                      "full-course yellow", "stopped",        "session over"};
  return phase >= 0 && phase < 9 ? names[phase] : "unknown phase";
}

std::string sessionName(int session) {
  if (session >= 10 && session <= 13) return "Race";
  if (session >= 5 && session <= 8) return "Qualifying";
  if (session >= 1 && session <= 4) return "Practice";
  return format("Session %d", session);
}

std::string secondsText(double seconds) {
  if (!(seconds > 0)) return "--";
  return seconds < kLongestTime ? format("%.3f", seconds) : std::string("> 100 h");
}

// Copied out: the block's doubles need not be 8-byte aligned.
double speedOf(const void* field) {
  double v[3];
  std::memcpy(v, field, sizeof v);
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Whole laps of a lap count or difference, safe to print however large.
int wholeLaps(double laps) {
  if (!(std::fabs(laps) < 1e6)) return laps > 0 ? 999999 : laps < 0 ? -999999 : 0;
  return static_cast<int>(std::trunc(laps));
}

// The screen's one convention for gaps: how far a car is behind, positive
// behind and negative ahead; "+1 L" is one lap behind. At most 7 columns.
std::string gapText(double seconds, int laps) {
  if (laps != 0) return format("%+d L", laps);
  double size = std::fabs(seconds);
  if (!(size < kLongestTime)) return "--";
  return format(size < 100 ? "%+.3f" : size < 10000 ? "%+.1f" : "%+.0f", seconds);
}

const KorvanelTimeTableEntry* timingEntry(const KorvanelTimeTable& table,
                                          const KorvanelHostVehicle& v) {
  for (const KorvanelTimeTableEntry& e : table.entries) {
    if (e.inUse && fieldText(e.driverName) == fieldText(v.driverName) &&
        fieldText(e.vehicleName) == fieldText(v.vehicleName)) {
      return &e;
    }
  }
  return nullptr;
}

int carCount(const KorvanelScoringInfoV2& s) {
  return std::clamp(s.vehicleCount, 0, KORVANEL_MAX_VEHICLES);
}

const KorvanelVehicleInfoV2* playerOf(const KorvanelScoringInfoV2& s) {
  bool valid = s.playerIndex >= 0 && s.playerIndex < carCount(s);
  return valid ? &s.vehicles[s.playerIndex] : nullptr;
}

// What the screen takes from the engineer, looked up by vehicle index.
class Engineered {
 public:
  Engineered(const engineer::EngineerView* view, int cars) : view_(view) {
    if (!view) return;
    standing_.assign(static_cast<size_t>(cars), nullptr);
    history_.assign(static_cast<size_t>(cars), nullptr);
    for (const engineer::ClassStanding& c : view->classStandings) {
      if (c.index >= 0 && c.index < cars) standing_[c.index] = &c;
    }
    for (const engineer::CarHistory& h : view->history) {
      if (h.index >= 0 && h.index < cars) history_[h.index] = &h;
    }
  }
  const engineer::EngineerView* view() const { return view_; }
  const engineer::ClassStanding* standing(int index) const {
    return index >= 0 && static_cast<size_t>(index) < standing_.size() ? standing_[index] : nullptr;
  }
  const engineer::CarHistory* history(int index) const {
    return index >= 0 && static_cast<size_t>(index) < history_.size() ? history_[index] : nullptr;
  }

 private:
  const engineer::EngineerView* view_;
  std::vector<const engineer::ClassStanding*> standing_;
  std::vector<const engineer::CarHistory*> history_;
};

// "4 GT3": a car's place in its own class and the class.
std::string classText(const KorvanelVehicleInfoV2& e, const Engineered& eng, int index) {
  const engineer::ClassStanding* c = eng.standing(index);
  int place = c ? c->classPlace : eng.view() ? 0 : e.inClassGroup ? e.classPosition : 0;
  return fitColumns(place > 0 ? format("%d", place) : "", 2, true) + " " +
         fitColumns(printable(e.host.vehicleClass), 7);
}

void header(Lines& out, const KorvanelSharedBlock& b, const ScreenStyle& style, bool whole) {
  const KorvanelScoringInfoV2& s = b.scoring;
  const KorvanelHostState& st = b.state;
  std::string status = st.closed          ? "host shut down"
                       : st.sessionActive ? phaseName(s.phase)
                                          : "no session";
  std::string track = cutColumns(printable(s.trackName), 24);
  std::string line =
      format("KORVANEL  %s %.1f km  %s  %s  %s  updates %d", track.c_str(),
             std::clamp(s.lapLength, 0.0, 1e9) / 1000.0, sessionName(s.session).c_str(),
             status.c_str(), lapTimeText(s.currentTime).c_str(), st.updateCount);
  if (style.idle && !st.closed) line += "  idle";
  if (!whole) line += "  torn?";
  out.add(line, "1;36");
}

// "+0.123", or "--" without a figure.
std::string deltaText(const std::optional<double>& seconds) {
  if (!seconds || !(std::fabs(*seconds) < kLongestTime)) return "--";
  return format("%+.3f", *seconds);
}

void playerLines(Lines& out, const KorvanelSharedBlock& b, const Engineered& eng) {
  const KorvanelScoringInfoV2& s = b.scoring;
  const KorvanelTelemetryInfoV2& t = b.telemetry;
  const KorvanelVehicleInfoV2* p = playerOf(s);
  if (!p) {
    out.add("No player car in the session");
  } else {
    // "P9 · P4/7 GT3": overall, then within the player's own class.
    std::string place = format("P%d", s.playerPlace);
    if (const engineer::ClassStanding* c = eng.standing(s.playerIndex)) {
      place += format(" \xc2\xb7 P%d/%d %s", c->classPlace, c->classCount,
                      cutColumns(terminalText(c->vehicleClass), 12).c_str());
    }
    // A long line leaves the car's name out first: place and pit lane matter more.
    std::string you = format("You  %s%s  %s", place.c_str(), p->host.inPits ? "  IN PITS" : "",
                             shortName(printable(p->host.driverName), 22).c_str());
    std::string car = " (" + shortName(printable(t.telemetry.vehicleName), 18) + ")";
    std::string rest = format("  lap %d  %.0f km/h", t.telemetry.lapNumber + 1,
                              speedOf(t.telemetry.localVelocity) * 3.6);
    bool roomy = columnsOf(you + car + rest) <= kScreenColumns;
    out.add(you + (roomy ? car : std::string()) + rest, "1");
    std::string times = format("Lap %s  last %s  best %s", lapTimeText(t.estimatedLapTime).c_str(),
                               lapTimeText(p->host.lastLapTime).c_str(),
                               lapTimeText(b.timeTable.playerBestLapTime).c_str());
    if (eng.view() && eng.view()->hasPlayer) {
      const engineer::Delta& d = eng.view()->delta;
      times += format("  vs best %s  vs last %s", deltaText(d.toBest).c_str(),
                      deltaText(d.toLast).c_str());
    }
    out.add(times);
  }
  out.add(format("Fuel %.2f  per lap %.3f  laps left %.1f  last lap's fuel %.3f",
                 t.telemetry.fuelLevel, t.fuelPerLap, t.lapsOfFuelLeft, t.lastLapFuel));
}

// Fuel to the finish, when the user gave the race's length.
void finishLine(Lines& out, const Engineered& eng) {
  const engineer::EngineerView* v = eng.view();
  if (!v || !v->hasPlayer || !v->raceLength.known()) return;
  std::string length = v->raceLength.laps > 0 ? format("%d laps", v->raceLength.laps)
                                              : format("%.0f min", v->raceLength.minutes);
  const engineer::Fuel& f = v->fuel;
  if (!f.toFinish || !f.lapsToFinish || !f.perLap) {
    out.add("Race of " + length + ": fuel to the finish after a green lap");
    return;
  }
  out.add(format("Race of %s: %.1f laps to go; fuel to finish %.2f, to add %.2f (%.3f/lap)",
                 length.c_str(), *f.lapsToFinish, *f.toFinish, f.toAdd ? *f.toAdd : 0.0,
                 *f.perLap));
}

void settingsLine(Lines& out, const KorvanelSharedBlock& b) {
  const KorvanelHostState& st = b.state;
  out.add(format("KERS %s%s %.1f s  Odometer %.3f km, on this track %.3f km  class row %d",
                 st.kersTimerOn == 1 ? "on" : "off", st.kersRunning ? " running" : "",
                 st.kersRemaining, st.vehicleDistance / 1000.0, st.vehicleTrackDistance / 1000.0,
                 st.selectedClassRow));
}

// The indices of the cars listed: all when they fit, else the leader and
// the cars around the player.
std::vector<int> listedCars(const KorvanelScoringInfoV2& s, int rows) {
  int count = carCount(s);
  std::vector<int> listed;
  if (count <= rows) {
    for (int i = 0; i < count; ++i) listed.push_back(i);
    return listed;
  }
  if (rows <= 0) return listed;
  listed.push_back(0);
  int window = rows - 1;
  int centre = playerOf(s) ? s.playerIndex : 0;
  int first = std::clamp(centre - window / 2, 1, std::max(1, count - window));
  for (int i = first; i < first + window && i < count; ++i) listed.push_back(i);
  return listed;
}

void standings(Lines& out, const KorvanelSharedBlock& b, int rows, const Engineered& eng) {
  const KorvanelScoringInfoV2& s = b.scoring;
  out.add(eng.view()
              ? "Pos Class      Driver               Cls gap  To you Last lap Best lap Pit Marks"
              : "Pos Class      Driver               Overall  To you Last lap Best lap     Marks",
          "7");
  if (carCount(s) == 0) out.add("No cars yet");
  for (int i : listedCars(s, rows)) {
    const KorvanelVehicleInfoV2& e = s.vehicles[i];
    const KorvanelHostVehicle& v = e.host;
    const KorvanelTimeTableEntry* timing = timingEntry(b.timeTable, v);
    double best = timing ? timing->bestLapTime : v.bestLapTime;
    bool you = i == s.playerIndex;
    // To the class leader with the engineer; to the overall leader without.
    std::string leader;
    if (const engineer::ClassStanding* c = eng.standing(i)) {
      if (c->classPlace > 1) leader = gapText(c->gapToClassLeader, c->lapsToClassLeader);
    } else if (!eng.view() && v.place != 1) {
      leader = gapText(v.timeBehindLeader, v.lapsBehindLeader);
    }
    std::string toYou =
        you || !playerOf(s) ? "" : gapText(e.timeGapToPlayer, wholeLaps(e.lapGapToPlayer));
    const engineer::CarHistory* h = eng.history(i);
    std::string stops = h && h->pit.stops > 0 ? format("%d", h->pit.stops) : "";
    std::string marks = std::string(e.teamMember ? "T " : "") + (v.inPits ? "PIT" : "");
    std::string line = fitColumns(format("%d", v.place), 3, true) + " " + classText(e, eng, i) +
                       " " + fitColumns(shortName(printable(v.driverName), 20), 20) + " " +
                       fitColumns(leader, 7, true) + " " + fitColumns(toYou, 7, true) + " " +
                       fitColumns(lapTimeText(v.lastLapTime), 8, true) + " " +
                       fitColumns(lapTimeText(best), 8, true) + " " + fitColumns(stops, 3, true) +
                       " " + marks;
    out.add(line, you ? "1;33" : nullptr);
  }
}

// The cars nearest the player on track, from the one furthest ahead.
void relative(Lines& out, const KorvanelSharedBlock& b, const Engineered& eng) {
  const engineer::EngineerView* v = eng.view();
  if (!v || !v->hasPlayer || v->relative.empty()) return;
  out.add("Relative  Pos Class      Driver", "7");
  const KorvanelScoringInfoV2& s = b.scoring;
  for (const engineer::RelativeCar& r : v->relative) {
    if (r.index < 0 || r.index >= carCount(s)) continue;
    const KorvanelVehicleInfoV2& e = s.vehicles[r.index];
    bool you = r.mark == engineer::RelativeMark::kPlayer;
    const char* mark = r.mark == engineer::RelativeMark::kLapping  ? "lapping you"
                       : r.mark == engineer::RelativeMark::kLapped ? "being lapped"
                                                                   : "";
    std::string laps = r.lapsBehind != 0 ? format("%+d L", r.lapsBehind) : "";
    std::string line = fitColumns(you ? "" : gapText(r.gap, 0), 8, true) + "  " +
                       fitColumns(format("%d", e.host.place), 3, true) + " " +
                       classText(e, eng, r.index) + " " +
                       fitColumns(shortName(terminalText(r.driverName), 20), 20) + " " +
                       fitColumns(laps, 5, true) + " " + mark + (r.inPits ? " PIT" : "");
    out.add(line, you ? "1;33" : nullptr);
  }
}

void records(Lines& out, const KorvanelSharedBlock& b, bool sectors) {
  const KorvanelTimeTable& t = b.timeTable;
  std::string holder =
      t.fastestLapTime > 0 ? shortName(printable(t.fastestLapDriver), 16) : "nobody yet";
  out.add(format("Fastest lap %s %s (S1 %s, S1+S2 %s)  yours %s",
                 lapTimeText(t.fastestLapTime).c_str(), holder.c_str(),
                 secondsText(t.fastestLapSector1).c_str(), secondsText(t.fastestLapSector2).c_str(),
                 lapTimeText(t.playerBestLapTime).c_str()));
  if (!sectors) return;
  const KorvanelAbsoluteSectorTimes& r = b.sectorTimes;
  std::string line = "Sector records";
  const int order[] = {KORVANEL_SECTOR_FIRST, KORVANEL_SECTOR_SECOND, KORVANEL_SECTOR_THIRD};
  for (int n = 0; n < 3; ++n) {
    int slot = order[n];
    line += format("  S%d %s %s", n + 1, secondsText(r.recordTime[slot]).c_str(),
                   shortName(printable(r.recordHolder[slot]), 12).c_str());
  }
  out.add(line);
}

std::string clockText(std::chrono::system_clock::time_point when) {
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  const std::tm* local = std::localtime(&t);
  char text[16] = "?";
  if (local) std::strftime(text, sizeof text, "%H:%M", local);
  return text;
}

void legend(Lines& out, const Engineered& eng) {
  out.add("Gaps: + behind, - ahead, +1 L a lap behind.  T team-mate  PIT in the pit lane", "2");
  if (eng.view()) {
    out.add("Class: place in own class  Cls gap: to class leader  Pit: stops since " +
                clockText(eng.view()->since),
            "2");
  } else {
    out.add("Overall: gap to the leader of the race", "2");
  }
}

}  // namespace

std::string lapTimeText(double seconds) {
  if (!(seconds > 0)) return "--";
  if (!(seconds < kLongestTime)) return "> 100 h";
  int minutes = static_cast<int>(seconds / 60.0);
  return format("%d:%06.3f", minutes, seconds - minutes * 60.0);
}

std::string renderScreen(const KorvanelSharedBlock& block, const ScreenStyle& style, bool whole,
                         const engineer::EngineerView* view) {
  Engineered eng(view, carCount(block.scoring));
  Lines out(style.colour), after(style.colour);
  header(out, block, style, whole);
  playerLines(out, block, eng);
  finishLine(out, eng);
  relative(after, block, eng);
  // On a short terminal the cars come before the settings and the sector
  // records; the last line stays free so that the screen never scrolls.
  const int extraLines = 2;
  int otherLines = 1 + 1 + 2;  // standings heading, fastest lap, legend
  int wanted = std::min(style.rows, std::max(1, carCount(block.scoring)));
  int rows = style.rows;
  bool extras = true;
  if (style.lines > 0) {
    int room = style.lines - 1 - static_cast<int>(out.count() + after.count()) - otherLines;
    extras = room - extraLines >= wanted;
    rows = std::clamp(extras ? room - extraLines : room, 1, style.rows);
  }
  if (extras) settingsLine(out, block);
  standings(out, block, rows, eng);
  records(after, block, extras);
  legend(after, eng);
  return out.text() + after.text();
}

}  // namespace korvanel::tools

// Building the screen from one copy of the block. Speeds are shown in km/h
// and distances in km, from the host's metres.
#include "tools/monitor/monitor_screen.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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
  void add(const std::string& line) { text_ += line + (colour_ ? "\x1b[K\n" : "\n"); }
  const std::string& text() const { return text_; }

 private:
  bool colour_;
  std::string text_;
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

std::string gapText(float seconds, float laps) {
  if (laps <= -1.0f || laps >= 1.0f) return format("%+.0f L", std::trunc(laps));
  return format("%+.3f", seconds);
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

void header(Lines& out, const KorvanelSharedBlock& b, bool whole) {
  const KorvanelScoringInfoV2& s = b.scoring;
  const KorvanelHostState& st = b.state;
  std::string status = st.closed          ? "host shut down"
                       : st.sessionActive ? phaseName(s.phase)
                                          : "no session";
  out.add(out.paint("1;36", "KORVANEL") +
          format("  %s (%.0f m)  %s  %s  %s  updates %d", printable(s.trackName).c_str(),
                 s.lapLength, sessionName(s.session).c_str(), status.c_str(),
                 lapTimeText(s.currentTime).c_str(), st.updateCount) +
          (whole ? std::string() : "  " + out.paint("1;31", "torn?")));
}

void playerBlock(Lines& out, const KorvanelSharedBlock& b) {
  const KorvanelScoringInfoV2& s = b.scoring;
  const KorvanelTelemetryInfoV2& t = b.telemetry;
  const KorvanelHostState& st = b.state;
  if (s.playerIndex < 0 || s.playerIndex >= KORVANEL_MAX_VEHICLES) {
    out.add("No player car in the session");
  } else {
    const KorvanelVehicleInfoV2& p = s.vehicles[s.playerIndex];
    out.add(out.paint("1", format("You  %s, %s", printable(p.host.driverName).c_str(),
                                  printable(t.telemetry.vehicleName).c_str())) +
            format("  P%d (class P%d)  lap %d  lap time %s  %.0f km/h%s", s.playerPlace,
                   s.playerClassPosition, t.telemetry.lapNumber + 1,
                   lapTimeText(t.estimatedLapTime).c_str(),
                   speedOf(t.telemetry.localVelocity) * 3.6, p.host.inPits ? "  IN PITS" : ""));
  }
  out.add(
      format("Fuel %.2f  per lap %.3f  laps left %.1f  last lap %.3f  per s %.4f  "
             "distance per fuel %.1f",
             t.telemetry.fuelLevel, t.fuelPerLap, t.lapsOfFuelLeft, t.lastLapFuel, t.fuelPerSecond,
             t.distancePerFuel));
  out.add(format(
      "KERS %s%s %.1f s   Odometer: vehicle %.3f km, on this track %.3f km   "
      "class row %d",
      st.kersTimerOn == 1 ? "on" : "off", st.kersRunning ? ", running," : "", st.kersRemaining,
      st.vehicleDistance / 1000.0, st.vehicleTrackDistance / 1000.0, st.selectedClassRow));
}

void classTable(Lines& out, const KorvanelSharedBlock& b, int rows) {
  const KorvanelScoringInfoV2& s = b.scoring;
  int counted = s.vehicleCount < 0                       ? 0
                : s.vehicleCount > KORVANEL_MAX_VEHICLES ? KORVANEL_MAX_VEHICLES
                                                         : s.vehicleCount;
  bool grouped = !s.noClassGroup;
  out.add(out.paint(
      "7", format("%-4s %-4s %-22s %-20s %-8s %4s %9s %9s %9s %10s %6s %s", "Cls", "Pos", "Driver",
                  "Vehicle", "Class", "Laps", "Ahead", "Leader", "To you", "Best lap", "Top", "")));
  int shown = 0;
  for (int i = 0; i < counted && shown < rows; ++i) {
    const KorvanelVehicleInfoV2& e = s.vehicles[i];
    if (grouped && !e.inClassGroup) continue;
    const KorvanelHostVehicle& v = e.host;
    const KorvanelTimeTableEntry* timing = timingEntry(b.timeTable, v);
    double best = timing ? timing->bestLapTime : v.bestLapTime;
    float top = timing ? timing->topSpeed : e.topSpeed;
    bool you = i == s.playerIndex;
    std::string toYou = you ? "" : gapText(e.timeGapToPlayer, e.lapGapToPlayer);
    std::string marks = std::string(e.teamMember ? "T" : "") + (v.inPits ? " PIT" : "");
    std::string line =
        format("%-4s %-4d %-22.22s %-20.20s %-8.8s %4d %9s %9s %9s %10s %6.0f %s",
               e.classPosition > 0 ? format("%d", e.classPosition).c_str() : "-", v.place,
               printable(v.driverName).c_str(), printable(v.vehicleName).c_str(),
               printable(v.vehicleClass).c_str(), v.lapsCompleted,
               gapText(e.timeBehindClassAhead, e.lapDiffToClassAhead).c_str(),
               gapText(e.timeBehindClassLeader, e.lapDiffToClassLeader).c_str(), toYou.c_str(),
               lapTimeText(best).c_str(), top * 3.6, marks.c_str());
    out.add(you ? out.paint("1;33", line) : line);
    ++shown;
  }
  if (counted == 0) out.add("No cars yet");
}

void records(Lines& out, const KorvanelSharedBlock& b) {
  const KorvanelTimeTable& t = b.timeTable;
  out.add(format("Fastest lap %s by %s (S1 %s, S1+S2 %s)   your best %s",
                 lapTimeText(t.fastestLapTime).c_str(),
                 t.fastestLapTime > 0 ? printable(t.fastestLapDriver).c_str() : "nobody yet",
                 secondsText(t.fastestLapSector1).c_str(), secondsText(t.fastestLapSector2).c_str(),
                 lapTimeText(t.playerBestLapTime).c_str()));
  const KorvanelAbsoluteSectorTimes& r = b.sectorTimes;
  std::string line = "Sector records:";
  const int order[] = {KORVANEL_SECTOR_FIRST, KORVANEL_SECTOR_SECOND, KORVANEL_SECTOR_THIRD};
  for (int n = 0; n < 3; ++n) {
    int slot = order[n];
    line += format("  S%d %s %s (yours %s)", n + 1, secondsText(r.recordTime[slot]).c_str(),
                   printable(r.recordHolder[slot]).c_str(),
                   secondsText(r.playerRecordTime[slot]).c_str());
  }
  out.add(line);
}

}  // namespace

std::string lapTimeText(double seconds) {
  if (!(seconds > 0)) return "--";
  if (!(seconds < kLongestTime)) return "> 100 h";
  int minutes = static_cast<int>(seconds / 60.0);
  return format("%d:%06.3f", minutes, seconds - minutes * 60.0);
}

std::string renderScreen(const KorvanelSharedBlock& block, const ScreenStyle& style, bool whole) {
  Lines out(style.colour);
  header(out, block, whole);
  playerBlock(out, block);
  out.add("");
  classTable(out, block, style.rows);
  out.add("");
  records(out, block);
  return out.text();
}

}  // namespace korvanel::tools

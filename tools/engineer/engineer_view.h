// What the race engineer has worked out, as plain structs: the picture a
// reader of the block shows (korvanel-live encodes it as JSON, the monitor
// prints it). Times are seconds, distances metres, fuel in the host's unit.
// One convention for gaps: a gap is how far a car is BEHIND the car it is
// measured to, positive behind and negative ahead; laps the same way.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace korvanel::tools::engineer {

constexpr int kSectors = 3;          // sector 1, 2 and 3, as splits
constexpr int kViewLaps = 10;        // laps of each car's history in the view
constexpr int kAverageLaps = 5;      // green laps in an average (lap time, fuel)
constexpr int kRelativeEachWay = 4;  // cars ahead and behind in the relative by default

// What the user tells of the race's length; the host's records do not carry
// it. Both 0: unknown. `minutes` counts on the session clock from its zero.
struct RaceLength {
  int laps = 0;
  double minutes = 0.0;
  bool known() const { return laps > 0 || minutes > 0.0; }
};

// A car's class as a whole.
struct ClassSummary {
  std::string name;       // the cars' own vehicleClass
  std::string color;      // "#rrggbb", the same for the same name in every session
  int carCount = 0;       // cars of the class in the block
  int leaderIndex = -1;   // into the block's vehicles
  double bestLap = -1.0;  // the class's best lap; -1 none
  std::string bestLapDriver;
};

// One car's place within its own class, whatever class row the plugin groups by.
struct ClassStanding {
  int index = -1;  // into the block's vehicles (race order)
  std::string driverName;
  std::string vehicleClass;
  int classPlace = 0;             // 1 for the class leader
  int classCount = 0;             // cars of the class
  double gapToClassLeader = 0.0;  // s, >= 0
  int lapsToClassLeader = 0;      // whole laps behind the class leader, >= 0
  double gapToClassAhead = 0.0;   // s to the next car of the class ahead, >= 0
  int lapsToClassAhead = 0;       // whole laps behind it, >= 0
};

// One completed lap: its time and sector splits (-1 none).
struct LapTimes {
  int lap = 0;         // the car's completed-lap count once it was done
  double time = -1.0;  // s
  std::array<double, kSectors> sectors{{-1.0, -1.0, -1.0}};  // splits, s
  bool pit = false;  // the car was in the pit lane during the lap
};

// How a time compares: the session's best, the driver's own best, or neither.
enum class TimeMark { kNone, kPersonal, kSession };

struct LastLap : LapTimes {
  std::array<TimeMark, kSectors + 1> marks{};  // the three sectors, then the lap
};

struct PitSummary {
  bool inPits = false;
  int stops = 0;                  // entries into the pit lane seen since `since`
  double pitLaneSeconds = 0.0;    // all time in the pit lane since `since`
  double lastStopSeconds = -1.0;  // time in the lane of the latest stop; -1 none
  int stintLaps = 0;              // laps completed since leaving the pits (or since `since`)
};

// One car's timing history since `since`.
struct CarHistory {
  int index = -1;  // into the block's vehicles
  std::string driverName;
  std::string vehicleClass;
  LastLap lastLap;             // lap 0, time -1 before the first one
  std::vector<LapTimes> laps;  // the last up to kViewLaps laps, newest last
  double bestLap = -1.0;
  std::array<double, kSectors> bestSectors{{-1.0, -1.0, -1.0}};  // best splits
  double averageLap = -1.0;  // mean of the last up to kAverageLaps green laps; -1 none
  PitSummary pit;
  // Change of the gap to the car ahead, s per lap, over the last up to 5
  // laps; negative: closing in.
  std::optional<double> gapTrend;
};

struct TimedDriver {
  double time = -1.0;  // s; -1 none
  std::string driverName;
};

struct SessionBests {
  TimedDriver lap;
  std::array<TimedDriver, kSectors> sectors;  // best splits of sector 1, 2, 3
};

// Where a car of the relative stands to the player in laps.
enum class RelativeMark { kPlayer, kSame, kLapping, kLapped };

struct RelativeCar {
  int index = -1;  // into the block's vehicles
  std::string driverName;
  std::string vehicleClass;
  std::string classColor;
  double gap = 0.0;       // s on track to the player: positive behind, negative ahead
  int lapDifference = 0;  // the car's laps minus the player's, whole laps
  RelativeMark mark = RelativeMark::kSame;
  bool inPits = false;
};

// The player's live delta, sampled at each observation.
struct Delta {
  double lapDistance = -1.0;     // m, the player's, extrapolated between scoring updates
  std::optional<double> toBest;  // s; negative: faster than the best lap at this point
  std::optional<double> toLast;  // s; the same against the last lap
  double bestLap = -1.0;         // s, the reference laps' times; -1 none
  double lastLap = -1.0;
  std::optional<double> predictedLap;  // the best lap plus the delta to it
};

// The player's fuel, in the host's unit.
struct Fuel {
  double level = 0.0;
  std::optional<double> perLap;  // mean of the last up to kAverageLaps green laps
  int lapsCounted = 0;           // laps in that mean
  std::optional<double> lapsLeft;
  std::optional<double> lapsToFinish;  // laps the player still drives; none: length unknown
  std::optional<double> toFinish;      // fuel to the finish
  std::optional<double> toAdd;         // fuel to add at the next stop, >= 0
};

// Everything at once. Vectors are in race order but `relative`, which runs
// from the car furthest ahead on track to the one furthest behind.
struct EngineerView {
  std::chrono::system_clock::time_point since;  // when the history began
  RaceLength raceLength;
  bool hasPlayer = false;             // delta, fuel and relative are empty without one
  std::vector<ClassSummary> classes;  // by the best overall place of each class
  std::vector<ClassStanding> classStandings;
  SessionBests sessionBests;
  std::vector<CarHistory> history;
  std::vector<RelativeCar> relative;
  Delta delta;
  Fuel fuel;
};

}  // namespace korvanel::tools::engineer

// The observation loop. Car histories, classes and the relative change
// only with a scoring update (a new session clock value, a few times a
// second); the player's delta and fuel change at every observation, from
// the telemetry record, which the plugin refreshes at the host's rate.
//
// Where the player is between scoring updates: the scoring record's lap
// distance moved on by the mean of the speed in that record and the
// telemetry's speed over state.timeSinceScoring (the host's own time
// steps summed since that record), or, once the telemetry says a new lap
// began after the record (lapStartTime past its clock), from the line.
// In the known-truth race the delta then stays within 0.4 ms of the
// model's; the scoring record's distance alone puts it 0.14 s off.
// Time into the lap: the scoring record's session clock plus
// timeSinceScoring, less the telemetry's lapStartTime. The plugin's
// estimatedLapTime does the same from the wall clock's millisecond tick.
// Measured in the known-truth race (telemetry at 100 Hz, scoring at 5 Hz):
// with the tick following session time both stay within 20 microseconds of
// the model's time into the lap; with a tick that does not follow it (a
// replay run fast, a stalled host, a loaded machine) estimatedLapTime is
// off by up to a whole scoring interval (0.2 s) while the session-clock
// figure stays exact. Hence the session clock.
#include "tools/engineer/race_engineer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "tools/engineer/car_identity.h"
#include "tools/engineer/class_standings.h"
#include "tools/engineer/fuel_strategy.h"
#include "tools/engineer/lap_delta.h"
#include "tools/engineer/lap_history.h"
#include "tools/engineer/relative.h"

namespace korvanel::tools::engineer {
namespace {

constexpr double kNoTime = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kPoolViews = 4;  // views kept for reuse once nobody holds them

// Phase 5 is the green flag; yellow, stopped and over (6 and up) are not.
bool greenFlag(const KorvanelScoringInfoV2& s) { return s.phase == 5; }

// The length of a host record's velocity. The records are packed to 4
// bytes: their doubles are read through the record, never bound by reference.
template <typename Record>
double speedOf(const Record& r) {
  double x = r.localVelocity[0], y = r.localVelocity[1], z = r.localVelocity[2];
  return std::sqrt(x * x + y * y + z * z);
}

// The mark of `time` against the session's and the driver's own best.
TimeMark markOf(double time, double sessionBest, double personalBest) {
  if (!(time > 0.0)) return TimeMark::kNone;
  if (sessionBest > 0.0 && time <= sessionBest + 1e-9) return TimeMark::kSession;
  if (personalBest > 0.0 && time <= personalBest + 1e-9) return TimeMark::kPersonal;
  return TimeMark::kNone;
}

// `from` copied into `to`, whose storage serves again: each car's lap
// list is made room for a full view's laps once, not a lap at a time.
void copyView(EngineerView& to, const EngineerView& from) {
  to.since = from.since;
  to.raceLength = from.raceLength;
  to.hasPlayer = from.hasPlayer;
  to.classes = from.classes;
  to.classStandings = from.classStandings;
  to.sessionBests = from.sessionBests;
  to.history.resize(from.history.size());
  for (size_t i = 0; i < from.history.size(); ++i) {
    if (to.history[i].laps.capacity() < kViewLaps) to.history[i].laps.reserve(kViewLaps);
    to.history[i] = from.history[i];
  }
  to.relative = from.relative;
  to.delta = from.delta;
  to.fuel = from.fuel;
}

}  // namespace

struct RaceEngineer::State {
  RaceLength length;
  int eachWay = kRelativeEachWay;

  // The session the history belongs to.
  bool seen = false;
  int32_t session = 0;
  char track[64] = {};
  double clock = 0.0;            // the latest session clock
  double scoringTime = kNoTime;  // session clock of the latest scoring update handled
  // The race's start: the session clock at the first scoring update under
  // the green flag after one before it; NaN when the start was not seen.
  bool beforeGreen = false;
  double greenAt = kNoTime;

  CarIdentities identities;
  std::array<int, kCarSlots> slotOfIndex{};
  std::array<bool, kCarSlots> fresh{};
  std::array<bool, KORVANEL_MAX_VEHICLES> completedLap{};  // by index, at the latest scoring update
  std::array<LapHistory, kCarSlots> histories;
  PassTimes passTimes;
  LapDelta delta;
  FuelUse fuel;
  // The race's progress at the player's latest observation, so that a new
  // race length changes the fuel figures at once, even while the host is paused.
  std::optional<RaceProgress> progress;
  std::array<double, KORVANEL_MAX_VEHICLES> bestLapOfIndex{};
  int count = 0;  // vehicles of the latest scoring update
  int player = -1;

  EngineerView work;  // the picture being kept up to date
  bool dirty = true;
  std::vector<std::shared_ptr<EngineerView>> pool;
  std::shared_ptr<const EngineerView> published;

  void startHistory(const KorvanelScoringInfoV2& s, std::chrono::system_clock::time_point now);
  void takeScoring(const KorvanelSharedBlock& block);
  void takePlayer(const KorvanelSharedBlock& block);
  void workOutHistory(double now);
};

void RaceEngineer::State::startHistory(const KorvanelScoringInfoV2& s,
                                       std::chrono::system_clock::time_point now) {
  seen = true;
  session = s.session;
  std::memcpy(track, s.trackName, sizeof track);
  clock = s.currentTime;
  scoringTime = kNoTime;
  beforeGreen = false;
  greenAt = kNoTime;
  identities.reset();
  for (LapHistory& h : histories) h.reset();
  passTimes.reset();
  delta.reset();
  fuel.reset();
  progress.reset();
  count = 0;
  player = -1;
  work.since = now;
  work.classes.clear();
  work.classStandings.clear();
  work.history.clear();
  work.relative.clear();
  work.sessionBests = SessionBests();
  work.delta = Delta();
  work.fuel = Fuel();
  work.hasPlayer = false;
  dirty = true;
}

void RaceEngineer::State::takeScoring(const KorvanelSharedBlock& block) {
  const KorvanelScoringInfoV2& s = block.scoring;
  scoringTime = s.currentTime;
  count = std::clamp(s.vehicleCount, 0, KORVANEL_MAX_VEHICLES);
  player = s.playerIndex >= 0 && s.playerIndex < count ? s.playerIndex : -1;
  bool green = greenFlag(s);
  if (s.phase < 5) {
    beforeGreen = true;
    greenAt = kNoTime;
  } else if (green && beforeGreen && std::isnan(greenAt)) {
    greenAt = s.currentTime;
  }
  identities.match(s, count, slotOfIndex, fresh);
  for (int slot = 0; slot < kCarSlots; ++slot) {
    if (!fresh[static_cast<size_t>(slot)]) continue;
    histories[static_cast<size_t>(slot)].reset();
    passTimes.forget(slot);
  }
  for (int i = 0; i < count; ++i) {
    int slot = slotOfIndex[static_cast<size_t>(i)];
    const KorvanelVehicleInfoV2& v = s.vehicles[i];
    completedLap[static_cast<size_t>(i)] =
        histories[static_cast<size_t>(slot)].update(v, s.currentTime, green);
    passTimes.update(slot, v.host.lapDistance, s.lapLength, s.currentTime);
    bestLapOfIndex[static_cast<size_t>(i)] = histories[static_cast<size_t>(slot)].bestLap();
  }
  workOutClasses(s, count, bestLapOfIndex.data(), work.classes, work.classStandings);
  // The gap trend follows the gap to the class leader at each line.
  for (int i = 0; i < count; ++i) {
    if (!completedLap[static_cast<size_t>(i)]) continue;
    const ClassStanding& standing = work.classStandings[static_cast<size_t>(i)];
    int leader = i;
    for (const ClassSummary& c : work.classes) {
      if (c.name == standing.vehicleClass) leader = c.leaderIndex;
    }
    bool measured = leader != i && standing.lapsToClassLeader == 0;
    histories[static_cast<size_t>(slotOfIndex[static_cast<size_t>(i)])].noteLineGap(
        measured ? standing.gapToClassLeader : -1.0, slotOfIndex[static_cast<size_t>(leader)]);
  }
  workOutHistory(s.currentTime);
  double playerLap =
      player >= 0
          ? histories[static_cast<size_t>(slotOfIndex[static_cast<size_t>(player)])].typicalLap()
          : -1.0;
  workOutRelative(s, count, player, playerLap, slotOfIndex, passTimes, work.classStandings,
                  work.classes, eachWay, work.relative);
  work.hasPlayer = player >= 0;
}

void RaceEngineer::State::workOutHistory(double now) {
  // Session bests first: the marks of every last lap need them.
  // Reset field by field: the names keep their storage.
  SessionBests& bests = work.sessionBests;
  bests.lap.time = -1.0;
  for (TimedDriver& s : bests.sectors) s.time = -1.0;
  auto lowerBest = [](TimedDriver& best, double time, const std::string& driver) {
    if (time > 0.0 && (best.time < 0.0 || time < best.time)) {
      best.time = time;
      best.driverName = driver;
    }
  };
  work.history.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const LapHistory& h = histories[static_cast<size_t>(slotOfIndex[static_cast<size_t>(i)])];
    const std::string& driver = work.classStandings[static_cast<size_t>(i)].driverName;
    lowerBest(bests.lap, h.bestLap(), driver);
    for (int k = 0; k < kSectors; ++k) {
      lowerBest(bests.sectors[static_cast<size_t>(k)], h.bestSectors()[static_cast<size_t>(k)],
                driver);
    }
  }
  if (bests.lap.time < 0.0) bests.lap.driverName.clear();
  for (TimedDriver& s : bests.sectors) {
    if (s.time < 0.0) s.driverName.clear();
  }
  for (int i = 0; i < count; ++i) {
    const LapHistory& h = histories[static_cast<size_t>(slotOfIndex[static_cast<size_t>(i)])];
    const ClassStanding& standing = work.classStandings[static_cast<size_t>(i)];
    CarHistory& c = work.history[static_cast<size_t>(i)];
    c.index = i;
    c.driverName = standing.driverName;
    c.vehicleClass = standing.vehicleClass;
    c.bestLap = h.bestLap();
    c.bestSectors = h.bestSectors();
    c.averageLap = h.averageLap();
    c.pit = h.pit(now);
    c.gapTrend = h.gapTrend();
    int kept = h.keptLaps();
    int shown = std::min(kept, kViewLaps);
    if (c.laps.capacity() < kViewLaps) c.laps.reserve(kViewLaps);
    c.laps.resize(static_cast<size_t>(shown));
    for (int k = 0; k < shown; ++k) c.laps[static_cast<size_t>(k)] = h.lap(shown - 1 - k);
    c.lastLap = LastLap();
    if (kept > 0) {
      static_cast<LapTimes&>(c.lastLap) = h.lap(0);
      for (int k = 0; k < kSectors; ++k) {
        c.lastLap.marks[static_cast<size_t>(k)] = markOf(c.lastLap.sectors[static_cast<size_t>(k)],
                                                         bests.sectors[static_cast<size_t>(k)].time,
                                                         c.bestSectors[static_cast<size_t>(k)]);
      }
      c.lastLap.marks[kSectors] = markOf(c.lastLap.time, bests.lap.time, c.bestLap);
    }
  }
}

void RaceEngineer::State::takePlayer(const KorvanelSharedBlock& block) {
  const KorvanelScoringInfoV2& s = block.scoring;
  if (player < 0 || player >= count) return;
  const KorvanelVehicleInfoV2& me = s.vehicles[player];
  const KorvanelHostTelemetry& t = block.telemetry.telemetry;
  double lap = s.lapLength;
  bool green = greenFlag(s);
  // Scoring comes a few times a second; when it stops coming while the
  // telemetry runs on (a host holding its race, a stalled scoring thread),
  // the player is held where a second's run would have taken them instead
  // of being moved on without end.
  double since = std::isfinite(block.state.timeSinceScoring) && block.state.timeSinceScoring > 0.0f
                     ? std::min(1.0, static_cast<double>(block.state.timeSinceScoring))
                     : 0.0;
  double now = s.currentTime + since;
  double lapStart = t.lapStartTime;
  double speed = (speedOf(me.host) + speedOf(t)) / 2.0;

  fuel.observe(lapStart, t.fuelLevel, me.host.inPits != 0, green);
  if (lapStart > 0.0 && lap > 0.0 && now >= lapStart) {
    double distance;
    if (lapStart > s.currentTime) {
      distance = speed * (now - lapStart);  // crossed the line since the scoring update
    } else {
      distance = me.host.lapDistance + speed * since;
    }
    distance = std::clamp(distance, 0.0, lap);
    delta.observe(lapStart, lap, distance, now - lapStart);
    work.delta = delta.delta();
  } else {
    work.delta = Delta();
    work.delta.lapDistance = me.host.lapDistance;
  }

  RaceProgress race;
  // A race's minutes run from its start; before the green flag none have run.
  if (s.phase < 5) {
    race.raceTime = 0.0;
  } else {
    race.raceTime = std::isnan(greenAt) ? now : now - greenAt;
  }
  if (count > 0) {
    race.leaderProgress = s.vehicles[0].lapProgress;
    race.leaderLap = histories[static_cast<size_t>(slotOfIndex[0])].typicalLap();
  }
  race.playerProgress = me.lapProgress;
  race.playerLap =
      histories[static_cast<size_t>(slotOfIndex[static_cast<size_t>(player)])].typicalLap();
  progress = race;
  work.fuel = fuelFigures(fuel, lapsToFinish(length, race));
}

RaceEngineer::RaceEngineer(RaceLength length) : state_(std::make_unique<State>()) {
  state_->length = length;
  state_->work.raceLength = length;
  state_->work.since = std::chrono::system_clock::now();
  state_->work.classes.reserve(KORVANEL_MAX_VEHICLES);
  state_->work.classStandings.reserve(KORVANEL_MAX_VEHICLES);
  state_->work.history.reserve(KORVANEL_MAX_VEHICLES);
  state_->work.relative.reserve(2 * 20 + 1);
}

RaceEngineer::~RaceEngineer() = default;

void RaceEngineer::setRaceLength(RaceLength length) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_->length = length;
  state_->work.raceLength = length;
  if (state_->progress) {
    state_->work.fuel = fuelFigures(state_->fuel, lapsToFinish(length, *state_->progress));
  }
  state_->dirty = true;
}

void RaceEngineer::setRelativeCars(int eachWay) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_->eachWay = std::clamp(eachWay, 0, 20);
  state_->dirty = true;
}

void RaceEngineer::observe(const KorvanelSharedBlock& block,
                           std::chrono::system_clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  State& st = *state_;
  const KorvanelScoringInfoV2& s = block.scoring;
  if (s.vehicleCount <= 0 && s.trackName[0] == 0) return;  // no scoring update yet
  if (!std::isfinite(s.currentTime)) return;
  bool newSession = !st.seen || s.session != st.session ||
                    std::strncmp(s.trackName, st.track, sizeof st.track) != 0 ||
                    s.currentTime < st.clock - 1e-3;
  // The first session seen keeps the construction's `since`.
  if (newSession) st.startHistory(s, st.seen ? now : st.work.since);
  st.clock = s.currentTime;
  if (!(s.currentTime == st.scoringTime)) st.takeScoring(block);
  st.takePlayer(block);
  st.dirty = true;
}

std::shared_ptr<const EngineerView> RaceEngineer::view() const {
  std::lock_guard<std::mutex> lock(mutex_);
  State& st = *state_;
  if (st.published && !st.dirty) return st.published;
  // A kept view that nobody else holds any more is filled again in place:
  // its strings and vectors keep their storage.
  std::shared_ptr<EngineerView> target;
  for (const std::shared_ptr<EngineerView>& v : st.pool) {
    if (v.use_count() == 1) target = v;
  }
  if (!target) {
    target = std::make_shared<EngineerView>();
    if (st.pool.size() < kPoolViews) st.pool.push_back(target);
  }
  copyView(*target, st.work);
  st.published = target;
  st.dirty = false;
  return st.published;
}

}  // namespace korvanel::tools::engineer

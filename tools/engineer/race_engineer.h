// The race engineer: fed whole copies of the shared block, it keeps the
// timing history of a session (every car's laps, sectors, stops; the
// player's lap traces and fuel use) and works out what racers look at:
// class standings, the relative, the live delta and fuel to the finish.
// One instance per reader; history starts at its construction and lasts
// until a new session begins.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "korvanel/shared_block.h"
#include "tools/engineer/engineer_view.h"

namespace korvanel::tools::engineer {

class RaceEngineer {
 public:
  // History starts now (the wall clock's `since`); `length` may be unknown.
  explicit RaceEngineer(RaceLength length = {});
  ~RaceEngineer();
  RaceEngineer(const RaceEngineer&) = delete;
  RaceEngineer& operator=(const RaceEngineer&) = delete;

  // The race length for fuel to the finish, from the next observation on.
  // Any thread.
  void setRaceLength(RaceLength length);
  // Cars ahead and behind the player in the relative (default
  // kRelativeEachWay, clamped to 0..20), from the next scoring update on.
  // Any thread.
  void setRelativeCars(int eachWay);

  // Feeds one whole copy of the block taken at `now` (wall clock). Meant
  // for one reader thread at its poll rate (30-60 Hz): allocates nothing
  // once the field has been seen. A new session (session number, track
  // name, or the session clock going back) resets the history and `since`
  // becomes `now`. A block without a scoring update yet (no vehicles, no
  // track) is ignored.
  void observe(const KorvanelSharedBlock& block, std::chrono::system_clock::time_point now);

  // An immutable picture of everything worked out at the latest
  // observation; safe to keep and read on other threads. Any thread.
  std::shared_ptr<const EngineerView> view() const;

 private:
  struct State;               // the history and the picture kept up to date
  mutable std::mutex mutex_;  // guards state_
  std::unique_ptr<State> state_;
};

}  // namespace korvanel::tools::engineer

// Distance driven per vehicle and per vehicle on a track, kept across
// sessions in "PLUGINS\\KORVANEL\\KM.txt": section [KM] holds a total per
// vehicle key, [KM_TRACKS] one per "vehicle[track]" key. Values are "%f"
// text, read and written in double precision so that large totals keep
// their fraction.
#pragma once

namespace korvanel {

class Odometer {
 public:
  Odometer() { reset(); }

  // No keys, totals 0, nothing loaded or pending.
  void reset();

  // Takes the keys in use and loads their totals, once per reset; does
  // nothing while either name is empty or null. Replaces spaces by
  // underscores in both names, in place.
  // REQUIRES: each name is a modifiable text of at most 63 characters (only
  // the first 63 are used when it is longer).
  void select(char* vehicleName, char* trackName);

  // Adds a step's distance to both totals and marks them changed. A distance
  // that is negative or not finite adds nothing (it still marks them, as a
  // zero distance does); a total that would stop being finite keeps its
  // value. Touches memory only.
  void add(double distance);

  // Writes both totals, in one replacement of the file, when they changed
  // and both keys are set. A total that is not finite is not written; its
  // key keeps the stored value. When the file cannot be written the totals
  // stay marked changed, so that the next save tries again.
  void save();

  char filePath[255];
  char vehicleKey[64];
  char trackKey[64];
  double vehicleTotal;
  double trackTotal;
  bool loaded;
  bool dirty;
};

}  // namespace korvanel

// Distance driven per vehicle and per vehicle on a track, kept across
// sessions in "PLUGINS\\KORVANEL\\KM.txt".
#pragma once

namespace korvanel {

class Odometer {
 public:
  Odometer() { reset(); }

  // No keys, totals 0, nothing loaded or pending.
  void reset();
  // Takes the keys in use and loads their totals, once per reset. Replaces
  // spaces by underscores in both names, in place.
  void select(char* vehicleName, char* trackName);
  // Adds a step's distance to both totals and marks them changed.
  void add(double distance);
  // Writes both totals when they changed and both keys are set.
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

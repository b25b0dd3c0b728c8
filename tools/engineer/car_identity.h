// Which car is which from one scoring update to the next: the block lists
// vehicles in race order, so an index names a place, not a car. A car is
// its driver and vehicle names; each gets a slot that stays its own for the
// session.
#pragma once

#include <array>
#include <cstdint>

#include "korvanel/shared_block.h"

namespace korvanel::tools::engineer {

constexpr int kCarSlots = KORVANEL_MAX_VEHICLES;

class CarIdentities {
 public:
  CarIdentities() { reset(); }
  // Forgets every car.
  void reset();
  // Fills slotOfIndex[0 .. count-1] with the slot of each of the first
  // `count` vehicles of `scoring` (count <= kCarSlots) and sets fresh[slot]
  // for slots given to a car this time (a new car, or a slot taken back from
  // the car seen least recently once all are in use): their history starts
  // over. Other entries of `fresh` are cleared. Every index gets a slot.
  void match(const KorvanelScoringInfoV2& scoring, int count,
             std::array<int, kCarSlots>& slotOfIndex, std::array<bool, kCarSlots>& fresh);

 private:
  struct Key {
    uint64_t hash = 0;
    char driver[32] = {};
    char vehicle[64] = {};
    uint64_t lastSeen = 0;  // match() call count; 0 free
  };
  // The slot of the car of `v`'s names not yet matched in this update,
  // tried at `hint` first; -1 none.
  int find(const KorvanelHostVehicle& v, uint64_t hash, int hint) const;
  // A free slot, else the one whose car was seen least recently.
  int takeSlot();

  std::array<Key, kCarSlots> keys_;
  std::array<int, kCarSlots> previous_;  // slot of each index at the previous match
  uint64_t calls_ = 0;
};

}  // namespace korvanel::tools::engineer

// Slots by names, looked up first where the car was the previous time (the
// order changes little between updates), then among all slots.
#include "tools/engineer/car_identity.h"

#include <cstring>

namespace korvanel::tools::engineer {
namespace {

// Bounded: the host's names need not end in a zero.
template <size_t N>
size_t boundedLength(const char (&text)[N]) {
  const void* end = std::memchr(text, 0, N);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : N;
}

template <size_t N>
uint64_t addHash(uint64_t hash, const char (&text)[N]) {
  size_t n = boundedLength(text);
  for (size_t i = 0; i < n; ++i)
    hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211ull;
  return (hash ^ 0xffu) * 1099511628211ull;
}

template <size_t N>
bool sameText(const char (&kept)[N], const char (&text)[N]) {
  return std::strncmp(kept, text, N) == 0;
}

uint64_t nameHash(const KorvanelHostVehicle& v) {
  return addHash(addHash(14695981039346656037ull, v.driverName), v.vehicleName);
}

}  // namespace

void CarIdentities::reset() {
  keys_.fill(Key{});
  previous_.fill(-1);
  calls_ = 0;
}

int CarIdentities::find(const KorvanelHostVehicle& v, uint64_t hash, int hint) const {
  auto matches = [&](int slot) {
    const Key& k = keys_[slot];
    // A slot already matched in this update belongs to another car of the
    // same names.
    return k.lastSeen != 0 && k.lastSeen != calls_ && k.hash == hash &&
           sameText(k.driver, v.driverName) && sameText(k.vehicle, v.vehicleName);
  };
  if (hint >= 0 && matches(hint)) return hint;
  for (int slot = 0; slot < kCarSlots; ++slot) {
    if (matches(slot)) return slot;
  }
  return -1;
}

// Never one matched in this update: at most kCarSlots vehicles come at once.
int CarIdentities::takeSlot() {
  int oldest = 0;
  for (int slot = 0; slot < kCarSlots; ++slot) {
    if (keys_[slot].lastSeen == 0) return slot;
    if (keys_[slot].lastSeen < keys_[oldest].lastSeen) oldest = slot;
  }
  return oldest;
}

void CarIdentities::match(const KorvanelScoringInfoV2& scoring, int count,
                          std::array<int, kCarSlots>& slotOfIndex,
                          std::array<bool, kCarSlots>& fresh) {
  ++calls_;
  fresh.fill(false);
  for (int i = 0; i < count; ++i) {
    const KorvanelHostVehicle& v = scoring.vehicles[i].host;
    uint64_t hash = nameHash(v);
    int slot = find(v, hash, previous_[i]);
    if (slot < 0) {
      slot = takeSlot();
      Key& k = keys_[slot];
      k.hash = hash;
      std::memcpy(k.driver, v.driverName, sizeof k.driver);
      std::memcpy(k.vehicle, v.vehicleName, sizeof k.vehicle);
      fresh[slot] = true;
    }
    keys_[slot].lastSeen = calls_;
    slotOfIndex[i] = slot;
    previous_[i] = slot;
  }
}

}  // namespace korvanel::tools::engineer

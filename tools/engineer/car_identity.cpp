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
  // Cars under the same names first, so that a driver swap below cannot
  // take the slot of another car of the same vehicle name.
  for (int i = 0; i < count; ++i) {
    const KorvanelHostVehicle& v = scoring.vehicles[i].host;
    int slot = find(v, nameHash(v), previous_[i]);
    if (slot >= 0) keys_[slot].lastSeen = calls_;
    slotOfIndex[i] = slot;
  }
  for (int i = 0; i < count; ++i) {
    if (slotOfIndex[i] >= 0) continue;
    const KorvanelHostVehicle& v = scoring.vehicles[i].host;
    // A driver swap: the car of the same vehicle name seen last time keeps
    // its history under its new driver.
    int slot = swappedDriver(v);
    if (slot < 0) {
      slot = takeSlot();
      std::memcpy(keys_[slot].vehicle, v.vehicleName, sizeof keys_[slot].vehicle);
      fresh[slot] = true;
    }
    Key& k = keys_[slot];
    std::memcpy(k.driver, v.driverName, sizeof k.driver);
    k.hash = nameHash(v);
    k.lastSeen = calls_;
    slotOfIndex[i] = slot;
  }
  for (int i = 0; i < count; ++i) previous_[i] = slotOfIndex[i];
}

int CarIdentities::swappedDriver(const KorvanelHostVehicle& v) const {
  for (int slot = 0; slot < kCarSlots; ++slot) {
    const Key& k = keys_[slot];
    if (k.lastSeen != 0 && k.lastSeen == calls_ - 1 && sameText(k.vehicle, v.vehicleName)) {
      return slot;
    }
  }
  return -1;
}

}  // namespace korvanel::tools::engineer

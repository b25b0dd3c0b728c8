// The timing entries' name hash: open addressing over the case-folded name
// triples of the entries in use. Entries only ever go from free (no names)
// to named between resets, so the hash never loses a key; a car without
// names takes the lowest free entry, found by a scan.
#include "timing/entry_finder.h"

#include "text/ascii_text.h"

namespace korvanel {
namespace {

constexpr int kFieldSizes[3] = {32, 64, 32};

// The three names as matching reads them: to the terminator, never past the
// field's last byte but one (what a stored copy of the field keeps).
struct Names {
  const char* text[3];
  int length[3];
  uint32_t hash;  // of the case-folded texts
};

Names namesOf(const char* driver, const char* vehicle, const char* vehicleClass) {
  Names n{{driver, vehicle, vehicleClass}, {}, 2166136261u};
  uint32_t h = n.hash;  // FNV-1a, then a final mix for the low bits
  for (int f = 0; f < 3; ++f) {
    int length = 0;
    while (length < kFieldSizes[f] - 1 && n.text[f][length] != 0) ++length;
    n.length[f] = length;
    for (int i = 0; i < length; ++i) {
      h = (h ^ static_cast<unsigned char>(foldCase(n.text[f][i]))) * 16777619u;
    }
    h = (h ^ (0x100u + static_cast<uint32_t>(length))) * 16777619u;  // "ab","c" is not "a","bc"
  }
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  n.hash = h ^ (h >> 16);
  return n;
}

bool carries(const TimeTableEntry& e, const Names& n) {
  const char* fields[3] = {e.driverName, e.vehicleName, e.vehicleClass};
  for (int f = 0; f < 3; ++f) {
    int length = n.length[f];
    for (int i = 0; i < length; ++i) {
      if (foldCase(fields[f][i]) != foldCase(n.text[f][i])) return false;
    }
    if (length < kFieldSizes[f] - 1 && fields[f][length] != 0) return false;
  }
  return true;
}

bool unnamed(const Names& n) { return n.length[0] == 0 && n.length[1] == 0 && n.length[2] == 0; }

}  // namespace

void EntryFinder::rebuild(const TimeTable& table) {
  slots_.beginPass();
  slots_.forgetTimingEntries();
  for (Bucket& b : buckets_) b.entry = kEmpty;
  for (int k = 0; k < kTimeTableEntries; ++k) namesWritten(table, k);
}

void EntryFinder::namesWritten(const TimeTable& table, int k) {
  // A new entry may be the answer for names that had none, anywhere.
  slots_.forgetTimingEntries();
  const TimeTableEntry& e = table.entries[k];
  Names n = namesOf(e.driverName, e.vehicleName, e.vehicleClass);
  if (unnamed(n)) return;
  int b = static_cast<int>(n.hash & (kBuckets - 1));
  for (; buckets_[b].entry != kEmpty; b = (b + 1) & (kBuckets - 1)) {
    // Entries are named lowest first; the one already there is the lower.
    if (buckets_[b].hash == n.hash && carries(table.entries[buckets_[b].entry], n)) return;
  }
  buckets_[b] = Bucket{n.hash, static_cast<int16_t>(k)};
}

int EntryFinder::lookUp(const TimeTable& table, const HostVehicle& v) const {
  Names n = namesOf(v.driverName, v.vehicleName, v.vehicleClass);
  if (unnamed(n)) {
    for (int k = 0; k < kTimeTableEntries; ++k) {
      if (carries(table.entries[k], n)) return k;
    }
    return -1;
  }
  for (int b = static_cast<int>(n.hash & (kBuckets - 1)); buckets_[b].entry != kEmpty;
       b = (b + 1) & (kBuckets - 1)) {
    if (buckets_[b].hash == n.hash && carries(table.entries[buckets_[b].entry], n)) {
      return buckets_[b].entry;
    }
  }
  return -1;
}

}  // namespace korvanel

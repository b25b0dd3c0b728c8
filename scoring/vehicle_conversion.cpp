// One host vehicle into one entry of the scoring block: the host's record
// byte for byte, then the plugin's per-vehicle fields that need no other
// entry.
#include <cstdint>
#include <cstring>

#include "platform/bytes.h"
#include "scoring/scoring_block_writer.h"

namespace korvanel {
namespace {

// A host name that fills its whole field has no terminator; every reader of
// the entry treats the field as a C string, so it is cut at the field's end.
// A terminated field keeps every byte as the host wrote it. Returns the
// length of the text.
template <size_t N>
size_t terminateField(char (&field)[N]) {
  size_t length = zeroIndex(field);
  if (length == N) {
    field[N - 1] = 0;
    return N - 1;
  }
  return length;
}

// upperCase() on eight bytes at once: only the bytes 'a' to 'z' change.
uint64_t upperCaseWord(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  uint64_t seven = w & ~kHigh;  // no byte carries into the next below
  uint64_t fromA = seven + kOnes * (0x80 - 'a');
  uint64_t pastZ = seven + kOnes * (0x80 - 'z' - 1);
  uint64_t lower = fromA & ~pastZ & ~w & kHigh;  // bytes of 0x80 and up never
  return w ^ (lower >> 2);                       // 0x20: the case bit
}

// Upper-case copy of a text of `length` characters, the rest of `out`
// zeroed, so nothing of a longer earlier name survives behind the terminator.
// Works a word at a time over the whole source field, keeping of each word
// only the bytes before the terminator (a call to clear a stretch of
// variable length would cost more than the copy); the rest of `out` beyond
// the source field is cleared at a fixed size.
template <size_t Out, size_t In>
void upperCopy(char (&out)[Out], const char (&in)[In], size_t length) {
  static_assert(Out >= In, "the copy holds the whole source field");
  static_assert(In % 8 == 0, "whole words");
  for (size_t i = 0; i < In; i += 8) {
    uint64_t w;
    std::memcpy(&w, in + i, 8);
    w = upperCaseWord(w);
    if (length < i + 8) {
      // Little-endian: byte k of the word is bits 8k to 8k + 7.
      w = length <= i ? 0 : w & (~uint64_t{0} >> (64 - 8 * (length - i)));
    }
    std::memcpy(out + i, &w, 8);
  }
  if (Out > In) std::memset(out + In, 0, Out - In);
}

}  // namespace

void ScoringBlockWriter::convertVehicle(const HostScoring& scoring, const HostVehicle& vehicle) {
  if (entry_ == nullptr) return;
  VehicleInfoV2& e = *entry_;
  std::memcpy(&e.host, &vehicle, sizeof(HostVehicle));
  size_t driverLength = terminateField(e.host.driverName);
  terminateField(e.host.vehicleName);
  size_t classLength = terminateField(e.host.vehicleClass);

  upperCopy(e.driverNameUpper, e.host.driverName, driverLength);
  upperCopy(e.vehicleClassUpper, e.host.vehicleClass, classLength);

  // In double, rounded once. A negative distance (before the line) counts
  // as none; a NaN distance or lap length flows through as NaN.
  if (scoring.lapLength == 0.0) {
    e.lapProgress = static_cast<float>(e.host.lapsCompleted);
  } else {
    double distance = e.host.lapDistance < 0.0 ? 0.0 : e.host.lapDistance;
    e.lapProgress = static_cast<float>(e.host.lapsCompleted + distance / scoring.lapLength);
  }

  e.inClassGroup = 0;
  e.classPosition = 0;
  std::memcpy(e.estimatedPosition, e.host.position, sizeof e.estimatedPosition);
}

}  // namespace korvanel

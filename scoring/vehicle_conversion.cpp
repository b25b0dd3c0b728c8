// The host's header and each host vehicle into the scoring block.
#include "scoring/vehicle_conversion.h"

#include <cstdint>
#include <cstring>

#include "text/ascii_text.h"
#include "text/bytes.h"

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

// Upper-case copy of a text of `length` characters, the rest of `out`
// zeroed, so nothing of a longer earlier name survives behind the terminator.
template <size_t Out, size_t In>
void upperCopy(char (&out)[Out], const char (&in)[In], size_t length) {
  static_assert(Out >= In, "the copy holds the whole source field");
  for (size_t i = 0; i < Out; ++i) out[i] = i < length ? upperCase(in[i]) : 0;
}

}  // namespace

// Field by field: the host packs doubles at 4-byte boundaries and holds a
// pointer where the block holds the text itself, so no stretch of the two
// layouts lines up beyond single fields.
void copyScoringHeader(ScoringInfoV2& block, const HostScoring& s) {
  // A name without its terminator inside the field is cut, never overrun.
  copyBounded(block.trackName, sizeof block.trackName, s.trackName);
  block.session = s.session;
  block.currentTime = s.currentTime;
  block.passthrough80 = s.passthrough76;
  block.passthrough88 = s.passthrough84;
  block.lapLength = s.lapLength;
  // Its first 1999 characters, zero-filled after the text, always
  // terminated; a missing text is an empty one.
  copyBounded(block.hostText, sizeof block.hostText, s.hostText);
  block.vehicleCount = s.vehicleCount;
  block.phase = s.phase;
  block.passthrough2109 = s.passthrough105;
  block.passthrough2110 = s.passthrough106;
  block.passthrough2112 = s.passthrough108;
  block.passthrough2113 = s.passthrough109;
  block.passthrough2114 = s.passthrough110;
  block.realtimeFlag = s.realtimeFlag;
  std::memcpy(block.passthrough2116, s.passthrough112, sizeof block.passthrough2116);
  std::memcpy(block.passthrough2148, s.passthrough144, sizeof block.passthrough2148);
  block.passthrough2216 = s.passthrough208;
  block.passthrough2224 = s.passthrough216;
  block.passthrough2232 = s.passthrough224;
  block.passthrough2240 = s.passthrough232;
  std::memcpy(block.passthrough2248, s.passthrough240, sizeof block.passthrough2248);
  block.passthrough2272 = s.passthrough264;
  block.passthrough2280 = s.passthrough272;
  std::memcpy(block.passthrough2288, s.passthrough280, sizeof block.passthrough2288);
}

void convertVehicle(VehicleInfoV2& e, const HostVehicle& v, double lapLength, CarSlot* slot) {
  copyBytes<sizeof(HostVehicle)>(&e.host, &v);
  if (slot != nullptr && slot->converted) {
    // The slot's names are these bytes: the same cuts, the same images.
    if (slot->unterminated & 1u) e.host.driverName[sizeof e.host.driverName - 1] = 0;
    if (slot->unterminated & 2u) e.host.vehicleName[sizeof e.host.vehicleName - 1] = 0;
    if (slot->unterminated & 4u) e.host.vehicleClass[sizeof e.host.vehicleClass - 1] = 0;
    copyBytes<sizeof e.driverNameUpper>(e.driverNameUpper, slot->driverUpper);
    copyBytes<sizeof e.vehicleClassUpper>(e.vehicleClassUpper, slot->classUpper);
  } else {
    size_t driverLength = terminateField(e.host.driverName);
    size_t vehicleLength = terminateField(e.host.vehicleName);
    size_t classLength = terminateField(e.host.vehicleClass);
    upperCopy(e.driverNameUpper, e.host.driverName, driverLength);
    upperCopy(e.vehicleClassUpper, e.host.vehicleClass, classLength);
    if (slot != nullptr) {
      // A cut field ends one short of its size; so does a field whose
      // terminator is its last byte, which the cut leaves as it is.
      slot->unterminated =
          static_cast<uint8_t>((driverLength == sizeof e.host.driverName - 1 ? 1u : 0u) |
                               (vehicleLength == sizeof e.host.vehicleName - 1 ? 2u : 0u) |
                               (classLength == sizeof e.host.vehicleClass - 1 ? 4u : 0u));
      copyBytes<sizeof e.driverNameUpper>(slot->driverUpper, e.driverNameUpper);
      copyBytes<sizeof e.vehicleClassUpper>(slot->classUpper, e.vehicleClassUpper);
      slot->converted = true;
    }
  }

  // In double, rounded once. A negative distance (before the line) counts
  // as none; a NaN distance or lap length flows through as NaN.
  if (lapLength == 0.0) {
    e.lapProgress = static_cast<float>(e.host.lapsCompleted);
  } else {
    double distance = e.host.lapDistance < 0.0 ? 0.0 : e.host.lapDistance;
    e.lapProgress = static_cast<float>(e.host.lapsCompleted + distance / lapLength);
  }

  e.inClassGroup = 0;
  e.classPosition = 0;
  std::memcpy(e.estimatedPosition, e.host.position, sizeof e.estimatedPosition);
}

}  // namespace korvanel

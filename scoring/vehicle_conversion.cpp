// One host vehicle into one entry of the scoring block: the host's record
// byte for byte, then the plugin's per-vehicle fields that need no other
// entry.
#include <cstring>

#include "scoring/scoring_block_writer.h"
#include "settings/text_compare.h"

namespace korvanel {
namespace {

// A host name that fills its whole field has no terminator; every reader of
// the entry treats the field as a C string, so it is cut at the field's end.
// A terminated field keeps every byte as the host wrote it.
template <size_t N>
void terminateField(char (&field)[N]) {
  if (std::memchr(field, 0, N) == nullptr) field[N - 1] = 0;
}

// Upper-case copy of a terminated text, the rest of `out` zeroed, so nothing
// of a longer earlier name survives behind the terminator.
template <size_t Out, size_t In>
void upperCopy(char (&out)[Out], const char (&in)[In]) {
  static_assert(Out >= In, "the copy holds the whole source field");
  size_t i = 0;
  for (; i < In && in[i]; ++i) out[i] = upperCase(in[i]);
  std::memset(out + i, 0, Out - i);
}

}  // namespace

void ScoringBlockWriter::convertVehicle(const HostScoring& scoring, const HostVehicle& vehicle) {
  if (entry_ == nullptr) return;
  VehicleInfoV2& e = *entry_;
  std::memcpy(&e.host, &vehicle, sizeof(HostVehicle));
  terminateField(e.host.driverName);
  terminateField(e.host.vehicleName);
  terminateField(e.host.vehicleClass);

  upperCopy(e.driverNameUpper, e.host.driverName);
  upperCopy(e.vehicleClassUpper, e.host.vehicleClass);

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

// Placeholder until the scoring conversion lands.
#include "scoring/scoring_block_writer.h"

#include <cstring>

namespace korvanel {

void ScoringBlockWriter::fillFromHost(const HostScoring&) {}
void ScoringBlockWriter::convertVehicle(const HostScoring&, const HostVehicle&) {}
void ScoringBlockWriter::analyse(const PluginConfig&) {}
void ScoringBlockWriter::copyTo(void* destination) const {
  std::memcpy(destination, block_, sizeof(ScoringInfoV2));
}
void ScoringBlockWriter::groupClasses(const PluginConfig&) {}
void ScoringBlockWriter::markTeamMembers(const PluginConfig&) {}
void ScoringBlockWriter::computeClassGaps() {}
void ScoringBlockWriter::computePlayerGaps() {}

}  // namespace korvanel

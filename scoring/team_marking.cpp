// Team marks: drivers named in the configured team list. While the player
// drives, marks are given only when the configuration asked for it.
#include <cstdint>
#include <cstring>
#include <string>

#include "scoring/scoring_block_writer.h"
#include "settings/plugin_config.h"
#include "text/ascii_text.h"
#include "text/bytes.h"

namespace korvanel {

void ScoringBlockWriter::markTeamMembers(const PluginConfig& config) {
  if (block_ == nullptr) return;
  ScoringInfoV2& b = *block_;
  const int n = countedVehicles(b);
  const bool check = b.playerIndex == -1 || config.realtimeMode;

  // The first letters of the team's names, case folded: a driver whose
  // first letter is not among them matches none, which spares most entries
  // the walk through the list. In 32-bit words: a shift by a variable
  // count of a 64-bit word takes branches on the 32-bit build.
  uint32_t firstLetters[8] = {};
  for (const std::string& name : config.teamMembers) {
    unsigned char c = static_cast<unsigned char>(foldCase(name.c_str()[0]));
    firstLetters[c / 32] |= uint32_t{1} << (c % 32);
  }

  // Each name as the image of an entry's upper-case driver field: upper
  // case, zero-filled. A driver's name equals a team name, case ignored,
  // exactly when the two images are the same bytes (the driver field holds
  // at most 31 characters, so a longer team name matches none either way).
  // The images compare 16 bytes at a time where the names' texts compared a
  // character at a time, their loops stopping at a different character for
  // every driver. A list longer than the images kept compares the rest as
  // texts.
  constexpr size_t kImage = sizeof(VehicleInfoV2::driverNameUpper);
  constexpr size_t kImages = 16;
  char images[kImages][kImage];
  size_t imageCount = 0;
  const size_t memberCount = config.teamMembers.size();
  for (; imageCount < memberCount && imageCount < kImages; ++imageCount) {
    const std::string& name = config.teamMembers[imageCount];
    char* image = images[imageCount];
    size_t length = name.size() < kImage ? name.size() : kImage;
    for (size_t k = 0; k < length; ++k) image[k] = upperCase(name[k]);
    for (size_t k = length; k < kImage; ++k) image[k] = 0;
    // A name the image cannot hold whole, or one with a NUL inside, is
    // compared as a text.
    if (name.size() >= kImage || std::strlen(name.c_str()) != name.size()) break;
  }

  for (int i = 0; i < n; ++i) {
    VehicleInfoV2& e = b.vehicles[i];
    e.teamMember = 0;
    if (!check) continue;
    unsigned char c = static_cast<unsigned char>(foldCase(e.host.driverName[0]));
    if ((firstLetters[c / 32] & (uint32_t{1} << (c % 32))) == 0) continue;
    bool member = false;
    for (size_t m = 0; m < imageCount; ++m) {
      member |= sameBytes<kImage>(images[m], e.driverNameUpper);
    }
    for (size_t m = imageCount; m < memberCount && !member; ++m) {
      member = equalsIgnoreCase(e.host.driverName, config.teamMembers[m].c_str());
    }
    e.teamMember = member ? 1 : 0;
  }
}

}  // namespace korvanel

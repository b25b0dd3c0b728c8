// Class-row pattern tests, in the order that lets one pattern fall through
// to the plain class-name comparison.
#include "scoring/class_pattern.h"

#include <cstddef>

#include "text/ascii_text.h"

namespace korvanel {
namespace {

// strstr() for the short names of an entry: the same answer (an empty part
// is always contained) without a library call, which costs more than the
// search itself on texts of a few characters and runs for every entry of
// every scoring update.
bool contains(const char* text, const char* part) {
  if (part[0] == 0) return true;
  for (; *text; ++text) {
    if (*text != part[0]) continue;
    size_t i = 1;
    while (part[i] && text[i] == part[i]) ++i;
    if (part[i] == 0) return true;
  }
  return false;
}

}  // namespace

PatternMatch matchPattern(const char* pattern, const VehicleInfoV2& entry,
                          const VehicleInfoV2* player) {
  switch (pattern[0]) {
    case '$':
      if ((pattern[1] == '#' && contains(entry.driverNameUpper, pattern + 2)) ||
          equalsIgnoreCase(entry.driverNameUpper, pattern + 1)) {
        return PatternMatch::kMember;
      }
      break;
    case '*':
      return PatternMatch::kMemberKeepsPlace;
    case '@':
      if (player && equalsIgnoreCase(entry.host.vehicleClass, player->host.vehicleClass)) {
        return PatternMatch::kMember;
      }
      break;
    case '#':
      // The only form that does not fall through to the whole-name compare.
      return contains(entry.vehicleClassUpper, pattern + 1) ? PatternMatch::kMember
                                                            : PatternMatch::kNone;
    default:
      break;
  }
  return equalsIgnoreCase(entry.vehicleClassUpper, pattern) ? PatternMatch::kMember
                                                            : PatternMatch::kNone;
}

}  // namespace korvanel

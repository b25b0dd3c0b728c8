// Class-row pattern tests, in the order that lets one pattern fall through
// to the plain class-name comparison.
#include "scoring/class_pattern.h"

#include <cstring>

#include "text/ascii_text.h"

namespace korvanel {

PatternMatch matchPattern(const char* pattern, const VehicleInfoV2& entry,
                          const VehicleInfoV2* player) {
  switch (pattern[0]) {
    case '$':
      if ((pattern[1] == '#' && std::strstr(entry.driverNameUpper, pattern + 2)) ||
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
      return std::strstr(entry.vehicleClassUpper, pattern + 1) ? PatternMatch::kMember
                                                               : PatternMatch::kNone;
    default:
      break;
  }
  return equalsIgnoreCase(entry.vehicleClassUpper, pattern) ? PatternMatch::kMember
                                                            : PatternMatch::kNone;
}

}  // namespace korvanel

// The configuration the benchmarks give the plugin, shared by the native
// benchmark and the one of the DLL.
#pragma once

#include <cstdint>

namespace korvanel::bench {

// What the plugin finds in its folder: team members (with the realtime
// switch), six class rows of several patterns each.
inline constexpr char kBenchConfig[] =
    "[GENERAL]\n"
    "TeamMembers=Jane Doe; John Smith, Maya Okafor; Hugo Petit, $$REALTIME_MODE$$\n"
    "\n"
    "[HUD]\n"
    "Grid_Classes1=GT,GT3,#GT4,@\n"
    "Grid_Classes2=My class,@\n"
    "Grid_Classes3=Prototypes,LMP1,LMP2\n"
    "Grid_Classes4=Friends,$JANE DOE,$#SMI,$#OKA,GT4 Am\n"
    "Grid_Classes5=Everybody,*\n"
    "Grid_Classes6=Mixed,LMP2,GT3,#GT4,@,$#OKA\n"
    "KersTime=6.7\n";

// The class row a display program selects for the runs: five patterns of
// four kinds (class names, a part of a class name, the player's class, a
// part of a driver's name).
constexpr uint8_t kBenchClassRow = 6;

}  // namespace korvanel::bench

// The live timing screen in 80 columns: session, the player's car, fuel and
// fuel to the finish, the standings around the player with class places,
// the relative on track, the sector records and a legend of the marks, as
// lines of text with ANSI colours where asked.
#pragma once

#include <string>

#include "korvanel/shared_block.h"
#include "tools/engineer/engineer_view.h"

namespace korvanel::tools {

// Every line of the screen fits this many columns.
constexpr int kScreenColumns = 80;

struct ScreenStyle {
  bool colour = true;
  int rows = 30;      // cars of the standings listed at most
  int lines = 0;      // terminal lines the screen must fit in (fewer cars then); 0: no limit
  bool idle = false;  // nothing published for a while: said in the first line
};

// `whole`: whether the copy came whole from the read protocol; a copy that
// did not is marked "torn?" in the first line. `engineer`: what a race
// engineer fed with the copies has worked out (class places of every car,
// pit stops, the relative, the delta, fuel to the finish); without it the
// screen shows what the block alone tells.
std::string renderScreen(const KorvanelSharedBlock& block, const ScreenStyle& style,
                         bool whole = true, const engineer::EngineerView* engineer = nullptr);

// m:ss.mmm, or "--" for none.
std::string lapTimeText(double seconds);

}  // namespace korvanel::tools

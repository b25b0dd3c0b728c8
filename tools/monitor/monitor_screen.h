// The live timing screen: session, the player's car, the class group in
// race order, the fastest lap and the sector records, as lines of text
// with ANSI colours where asked.
#pragma once

#include <string>

#include "korvanel/shared_block.h"

namespace korvanel::tools {

struct ScreenStyle {
  bool colour = true;
  int rows = 30;  // vehicles listed at most
};

// `whole`: whether the copy came whole from the read protocol; a copy that
// did not is marked "torn?" in the first line.
std::string renderScreen(const KorvanelSharedBlock& block, const ScreenStyle& style,
                         bool whole = true);

// m:ss.mmm, or "--" for none.
std::string lapTimeText(double seconds);

}  // namespace korvanel::tools

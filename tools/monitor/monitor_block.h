// The monitor's view of the shared block: a consistent copy of it, read
// only through the reader header.
#pragma once

#include <string>

#include "korvanel/shared_block.h"

namespace korvanel::tools {

// Copies the block into `out`, again if an update ran meanwhile (up to a
// few times), so the copy comes from one moment as far as possible.
void copyBlock(const volatile KorvanelSharedBlock* block, KorvanelSharedBlock& out);

// A fixed-size text field as a string, never reading past the field.
std::string fieldText(const char* field, size_t size);
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return fieldText(field, N);
}

}  // namespace korvanel::tools

// The monitor's view of the shared block: a consistent copy of it, read
// only through the reader header.
#pragma once

#include <string>

#include "korvanel/reader.h"

namespace korvanel::tools {

// Copies the open block into `out` with the read protocol of the reader
// header. Returns whether the copy is whole; when it is not (the plugin kept
// writing through every try, or it predates the counter), `out` holds the
// last try, which may be torn.
bool copyBlock(const KorvanelReader& reader, KorvanelSharedBlock& out);

// A fixed-size text field as a string, never reading past the field.
std::string fieldText(const char* field, size_t size);
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return fieldText(field, N);
}

}  // namespace korvanel::tools

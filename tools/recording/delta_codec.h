// Compact encoding of a record against the previous record of its kind:
// the two are XORed, and the result is stored as runs of zero bytes and
// literal bytes. Consecutive records differ in few bytes, so this keeps a
// recording small without a compression library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvanel::tools {

// Appends the encoding of `data` against `previous` (both `size` bytes).
void deltaEncode(const uint8_t* data, const uint8_t* previous, size_t size,
                 std::vector<uint8_t>& out);

// Decodes `size` bytes from `in` (`inSize` bytes available) against
// `previous` into `out`. Returns the number of input bytes used, or 0 when
// the input is short or does not describe exactly `size` bytes.
size_t deltaDecode(const uint8_t* in, size_t inSize, const uint8_t* previous, size_t size,
                   uint8_t* out);

}  // namespace korvanel::tools

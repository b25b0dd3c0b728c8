// Runs are pairs of 16-bit counts (zero bytes, then literal bytes) followed
// by the literal bytes; a run never covers more than what is left.
#include "tools/recording/delta_codec.h"

#include <algorithm>

namespace korvanel::tools {
namespace {

constexpr size_t kMaxRun = 0xFFFF;

void putCount(std::vector<uint8_t>& out, size_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

void deltaEncode(const uint8_t* data, const uint8_t* previous, size_t size,
                 std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < size) {
    size_t zeros = 0;
    while (i + zeros < size && zeros < kMaxRun && data[i + zeros] == previous[i + zeros]) {
      ++zeros;
    }
    // A literal run takes short equal stretches along and ends at four
    // equal bytes in a row, or at the end.
    size_t start = i + zeros, end = start;
    while (end < size && end - start < kMaxRun) {
      if (data[end] != previous[end]) {
        ++end;
        continue;
      }
      size_t same = 0;
      while (same < 4 && end + same < size && data[end + same] == previous[end + same]) ++same;
      if (same == 4 || end + same == size) break;
      end += same;
    }
    size_t literals = std::min(end - start, kMaxRun);
    putCount(out, zeros);
    putCount(out, literals);
    for (size_t k = 0; k < literals; ++k) {
      out.push_back(static_cast<uint8_t>(data[start + k] ^ previous[start + k]));
    }
    i = start + literals;
  }
}

size_t deltaDecode(const uint8_t* in, size_t inSize, const uint8_t* previous, size_t size,
                   uint8_t* out) {
  size_t used = 0, produced = 0;
  while (produced < size) {
    if (inSize - used < 4) return 0;
    size_t zeros = in[used] | (in[used + 1] << 8);
    size_t literals = in[used + 2] | (in[used + 3] << 8);
    used += 4;
    if (zeros == 0 && literals == 0) return 0;  // would never end
    if (zeros > size - produced || literals > size - produced - zeros) return 0;
    if (literals > inSize - used) return 0;
    for (size_t k = 0; k < zeros; ++k, ++produced) out[produced] = previous[produced];
    for (size_t k = 0; k < literals; ++k, ++produced) {
      out[produced] = static_cast<uint8_t>(in[used + k] ^ previous[produced]);
    }
    used += literals;
  }
  return used;
}

}  // namespace korvanel::tools

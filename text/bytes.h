// Byte-block helpers for the update cycles, inline so that no call leaves
// the library for the Windows C runtime's slower generic routines.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvanel {

// Whether the `N` bytes at `a` and `b` are equal, compared sixteen at a
// time without branching. N is a multiple of 8 and at least 16.
template <size_t N>
inline bool sameBytes(const void* a, const void* b) {
  static_assert(N % 8 == 0 && N >= 16, "whole words, at least one vector");
  typedef uint64_t Vector __attribute__((vector_size(16)));
  const auto* p = static_cast<const unsigned char*>(a);
  const auto* q = static_cast<const unsigned char*>(b);
  Vector diff = {0, 0};
  auto add = [&](size_t at) {
    Vector x, y;
    std::memcpy(&x, p + at, sizeof x);
    std::memcpy(&y, q + at, sizeof y);
    diff |= x ^ y;
  };
  for (size_t i = 0; i + 16 <= N; i += 16) add(i);
  if (N % 16 != 0) add(N - 16);
#if defined(__SSE2__)
  // The verdict in vector registers, not through the 32-bit build's stack.
  __m128i d;
  std::memcpy(&d, &diff, sizeof d);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(d, _mm_setzero_si128())) == 0xFFFF;
#else
  return (diff[0] | diff[1]) == 0;
#endif
}

// The index of the first zero byte of `field`, or N when it has none. With
// SSE2 (every shipped build) thirty-two bytes at a time, so that names of
// differing lengths cost no mispredicted branch; N is then a multiple of 32.
template <size_t N>
inline size_t zeroIndex(const char (&field)[N]) {
#if defined(__SSE2__)
  static_assert(N % 32 == 0, "whole pairs of vectors");
  const __m128i zero = _mm_setzero_si128();
  for (size_t i = 0; i < N; i += 32) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field + i));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field + i + 16));
    uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, zero))) |
                    static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, zero))) << 16;
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
  return N;
#else
  return static_cast<size_t>(std::find(field, field + N, '\0') - field);
#endif
}

// Copies `N` bytes from `from` to `to` (not overlapping) in unrolled
// sixteen-byte vector moves, for records of a few hundred bytes, where a
// string move's start-up costs the 32-bit build more than the copy. N is at
// least 16.
template <size_t N>
inline void copyBytes(void* to, const void* from) {
  static_assert(N >= 16, "at least one vector");
  typedef uint64_t Vector __attribute__((vector_size(16)));
  auto* d = static_cast<unsigned char*>(to);
  const auto* s = static_cast<const unsigned char*>(from);
  auto move = [&](size_t at) {
    Vector x;
    std::memcpy(&x, s + at, sizeof x);
    std::memcpy(d + at, &x, sizeof x);
  };
#pragma GCC unroll 64
  for (size_t i = 0; i + 16 <= N; i += 16) move(i);
  if (N % 16 != 0) move(N - 16);
}

// Copies `n` bytes from `from` to `to` (not overlapping), for the blocks of
// kilobytes every update copies into the shared block. The 32-bit build
// uses the string move at a 16-byte boundary, so that where the code around
// it lands cannot slow it; other builds call memcpy, which the sanitizers
// check.
inline void copyBlock(void* to, const void* from, size_t n) {
#if defined(__i386__) && defined(__GNUC__)
  asm volatile(".p2align 4\n\trep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
#else
  std::memcpy(to, from, n);
#endif
}

}  // namespace korvanel

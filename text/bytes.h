// Byte-block helpers for the update cycles, inline so that no call leaves
// the library: the C runtime the Windows build imports answers these small
// questions through a call and a generic loop each time, which costs more
// than the work on fields of a few dozen bytes (and differs between Windows
// and Wine). Natively they cost the same as the library's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvanel {

// Whether the `N` bytes at `a` and `b` are equal, sixteen bytes at a time
// without stopping early: a branch-free run in vector registers on both
// builds (in plain words the 32-bit build would need four registers per
// sixteen bytes). N is a multiple of 8 and at least 16; a last part shorter
// than sixteen bytes is compared as the overlapping last sixteen.
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
  // The verdict in vector registers: taking the two 64-bit halves out goes
  // through the stack on the 32-bit build.
  __m128i d;
  std::memcpy(&d, &diff, sizeof d);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(d, _mm_setzero_si128())) == 0xFFFF;
#else
  return (diff[0] | diff[1]) == 0;
#endif
}

// The index of the first zero byte of `field`, or N when it has none. With
// SSE2 (both shipped builds) thirty-two bytes at a time: two vector
// compares folded into one 32-bit mask, whose lowest set bit is the index.
// A loop that stops at the zero byte costs a mispredicted branch for every
// name of a new length, and names differ in length from one entry to the
// next; this only branches on which 32-byte part holds the zero, which for
// nearly every name is the first. N is a multiple of 32 (a multiple of the
// word size without SSE2).
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
  using Word = uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHigh = kOnes << 7;
  static_assert(N % sizeof(Word) == 0, "whole words");
  for (size_t i = 0; i < N; i += sizeof(Word)) {
    Word w;
    std::memcpy(&w, field + i, sizeof w);
    if (((w - kOnes) & ~w & kHigh) != 0) {
      size_t k = i;
      while (field[k] != 0) ++k;
      return k;
    }
  }
  return N;
#endif
}

}  // namespace korvanel

namespace korvanel {

// Copies `N` bytes from `from` to `to` (not overlapping) in sixteen-byte
// vector moves, the last one overlapping when N is not a multiple of 16.
// For records of a few hundred bytes copied once per vehicle: the compiler
// turns a copy of that size into a string move, whose start-up costs the
// 32-bit build more than the copy itself. Unrolled whole: a loop spends
// three of its five instructions per vector on counting, and its exit
// costs a branch per record. N is at least 16.
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

// Copies `n` bytes from `from` to `to` (not overlapping): for the blocks of
// kilobytes that every update copies into the shared block. The 32-bit
// build does it with the processor's string move placed at a 16-byte
// boundary. Where the compiler leaves a string move is a matter of the code
// around it, and one that straddles a 64-byte boundary measured 3 % slower
// on the whole telemetry update (the move is nearly all of it), so any
// change elsewhere in the library moved the figures. Other builds call
// memcpy, which the sanitizers check.
inline void copyBlock(void* to, const void* from, size_t n) {
#if defined(__i386__) && defined(__GNUC__)
  asm volatile(".p2align 4\n\trep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
#else
  std::memcpy(to, from, n);
#endif
}

}  // namespace korvanel

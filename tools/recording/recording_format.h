// The byte layout shared by the recording's writer and reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/host_records.h"

namespace korvanel::tools::format {

constexpr char kMagic[8] = {'K', 'O', 'R', 'V', 'R', 'E', 'C', '\x1a'};
constexpr size_t kFileHeaderSize = 24;    // magic, version, header size, two record sizes
constexpr size_t kRecordHeaderSize = 13;  // kind, payload size, wall seconds

// The scoring header without its pointers, the same on 32 and 64 bits: the
// bytes before `hostText` and those from `vehicleCount` up to `vehicles`.
constexpr size_t kHeadPart = offsetof(HostScoring, hostText);
constexpr size_t kTailStart = offsetof(HostScoring, vehicleCount);
constexpr size_t kTailPart = offsetof(HostScoring, vehicles) - kTailStart;
constexpr size_t kHeaderBytes = kHeadPart + kTailPart;
static_assert(kHeaderBytes == 532, "the host's header less its two pointers");

// Sanity bounds for what a reader accepts.
constexpr uint32_t kMaxText = 1u << 20;
constexpr uint32_t kMaxVehicles = 4096;

inline void packHeader(const HostScoring& h, uint8_t* out) {
  std::memcpy(out, &h, kHeadPart);
  std::memcpy(out + kHeadPart, reinterpret_cast<const uint8_t*>(&h) + kTailStart, kTailPart);
}

inline void unpackHeader(const uint8_t* in, HostScoring& h) {
  std::memcpy(&h, in, kHeadPart);
  std::memcpy(reinterpret_cast<uint8_t*>(&h) + kTailStart, in + kHeadPart, kTailPart);
}

inline void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t getU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace korvanel::tools::format

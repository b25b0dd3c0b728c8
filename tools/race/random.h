// A seeded generator whose numbers are the same on every platform: the
// standard engine's output is fixed, the conversions below are our own.
#pragma once

#include <cstdint>
#include <random>

namespace korvanel::tools {

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}

  // Uniform in [0, 1).
  double unit() {
    uint64_t high = engine_() >> 5;  // 27 bits
    uint64_t low = engine_() >> 6;   // 26 bits
    return static_cast<double>((high << 26) | low) / 9007199254740992.0;
  }
  double between(double low, double high) { return low + (high - low) * unit(); }
  // Uniform in [0, count).
  int below(int count) {
    int value = static_cast<int>(unit() * count);
    return value < count ? value : count - 1;
  }

 private:
  std::mt19937 engine_;
};

}  // namespace korvanel::tools

// Reading a fuzzer's byte string as a stream of values. Past the end every
// read yields zero bytes, so any input, however short, describes a complete
// case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace korvanel::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void bytes(void* out, size_t count) {
    size_t available = count < remaining() ? count : remaining();
    if (available) std::memcpy(out, data_ + used_, available);
    if (available < count)
      std::memset(static_cast<uint8_t*>(out) + available, 0, count - available);
    used_ += available;
  }

  template <typename T>
  T take() {
    T value;
    bytes(&value, sizeof value);
    return value;
  }

  // The bytes not read yet, without consuming them.
  const uint8_t* rest() const { return data_ + used_; }
  size_t remaining() const { return size_ - used_; }
  void skip(size_t count) { used_ += count < remaining() ? count : remaining(); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t used_ = 0;
};

// Values that random bytes rarely hit but hosts and files do produce.
inline double specialDouble(uint8_t kind) {
  switch (kind % 16) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return -std::numeric_limits<double>::quiet_NaN();
    case 2:
      return std::numeric_limits<double>::infinity();
    case 3:
      return -std::numeric_limits<double>::infinity();
    case 4:
      return std::numeric_limits<double>::max();
    case 5:
      return -std::numeric_limits<double>::max();
    case 6:
      return std::numeric_limits<double>::denorm_min();
    case 7:
      return -0.0;
    case 8:
      return 1e300;
    case 9:
      return -1e300;
    case 10:
      return 3.5e38;  // just past float range
    case 11:
      return -3.5e38;
    case 12:
      return 16777217.0;  // first integer a float cannot hold
    case 13:
      return -1.0;
    case 14:
      return 2147483648.0;  // just past int32 range
    default:
      return 0.0;
  }
}

}  // namespace korvanel::fuzz

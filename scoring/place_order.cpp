// Counting sort by place: places are single bytes, so a histogram of 256
// counters orders any number of vehicles in two passes, stably, without the
// comparison calls of a general sort.
#include "scoring/place_order.h"

namespace korvanel {

int orderByPlace(const HostVehicle* vehicles, int32_t count, int32_t (&hostIndex)[kMaxVehicles]) {
  if (count <= 0 || vehicles == nullptr) return 0;

  // How many vehicles hold each place, then where each place's run starts.
  int32_t next[256] = {};
  for (int32_t k = 0; k < count; ++k) ++next[vehicles[k].place];
  int32_t start = 0;
  for (int place = 0; place < 256; ++place) {
    int32_t held = next[place];
    next[place] = start;
    start += held;
  }

  // Host order within a place; slots past the block's capacity are dropped,
  // and they are always the highest places.
  for (int32_t k = 0; k < count; ++k) {
    int32_t slot = next[vehicles[k].place]++;
    if (slot < kMaxVehicles) hostIndex[slot] = k;
  }
  return count < kMaxVehicles ? static_cast<int>(count) : kMaxVehicles;
}

}  // namespace korvanel

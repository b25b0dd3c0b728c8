// Reading the block that the plugin writes without a lock.
#include "tools/monitor/monitor_block.h"

#include <atomic>
#include <cstring>

namespace korvanel::tools {

void copyBlock(const volatile KorvanelSharedBlock* block, KorvanelSharedBlock& out) {
  const auto* source = const_cast<const KorvanelSharedBlock*>(block);
  for (int attempt = 0; attempt < 5; ++attempt) {
    int32_t before = block->state.updateCount;
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(&out, source, sizeof out);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (block->state.updateCount == before) return;
  }
}

std::string fieldText(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != 0) ++length;
  return std::string(field, length);
}

}  // namespace korvanel::tools

// The writer's half of the read protocol of the shared block: the sequence
// counter at offset 127536 is odd while a call writes into the block and
// even otherwise, and moves on with every call that writes. A display
// program copies the block between two readings of the counter and keeps
// the copy only when both readings are the same even number.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "publish/shared_block_layout.h"

namespace korvanel {

// The counter as an atomic object in the block. A lock-free atomic of four
// bytes is a plain aligned word, address-free as the standard asks of
// lock-free atomics, so it works between processes that map the same bytes.
inline std::atomic<uint32_t>& blockSequence(SharedBlock& block) {
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                    alignof(std::atomic<uint32_t>) <= 8 &&
                    std::atomic<uint32_t>::is_always_lock_free,
                "the counter is one lock-free word in the block");
  return *std::launder(reinterpret_cast<std::atomic<uint32_t>*>(&block.sequence));
}

// One call's writes into the block, as a scope: construct it before the
// first write into the block and let it end after the last. Null `block`
// (no shared block) does nothing. REQUIRES: no other write scope is open on
// the block at the same time (the host's calls run one at a time).
//
// Ordering: the release fence after the odd store keeps every later store,
// plain copies included, from showing before it, so a reader that sees any
// of this call's bytes sees the odd counter again after its copy (behind an
// acquire fence). The closing release store shows every byte of the scope
// before the even value, so a reader that loads that value (acquire) before
// its copy copies this call's data whole. On x86 both are plain moves.
class BlockWrite {
 public:
  explicit BlockWrite(SharedBlock* block) : sequence_(block ? &blockSequence(*block) : nullptr) {
    if (sequence_ == nullptr) return;
    // (+1) | 1: odd from an even value, and from an odd one left behind by a
    // writer that died inside its scope, the next odd value.
    odd_ = (sequence_->load(std::memory_order_relaxed) + 1u) | 1u;
    sequence_->store(odd_, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
  }
  ~BlockWrite() {
    if (sequence_ != nullptr) sequence_->store(odd_ + 1u, std::memory_order_release);
  }
  BlockWrite(const BlockWrite&) = delete;
  BlockWrite& operator=(const BlockWrite&) = delete;

 private:
  std::atomic<uint32_t>* sequence_;
  uint32_t odd_ = 0;
};

}  // namespace korvanel

// The one reader of the block in korvanel-live: a thread that copies the
// block at a fixed rate and keeps only the latest frame. Network code picks
// frames up when it is ready for one; nothing it does can hold the reader
// back, and the reader never waits on the plugin.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "korvanel/shared_block.h"
#include "tools/reader/block_source.h"
#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {

// One moment of the race: a copy of the block (none without a plugin or
// with an unknown layout) and its JSON texts, made on first use per set of
// parts and then shared by every client that wants them.
class Frame {
 public:
  Frame(uint64_t id, std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta);

  // Grows by one with every new publication or change of status.
  uint64_t id() const { return id_; }
  const std::string& status() const { return meta_.status; }
  bool hasPicture() const { return block_ != nullptr; }
  // The JSON text of the parts `parts` (SnapshotPart bits, 1 to 15), one line.
  // Thread-safe; the first call per set of parts encodes.
  std::shared_ptr<const std::string> text(unsigned parts) const;

 private:
  uint64_t id_;
  std::unique_ptr<KorvanelSharedBlock> block_;
  SnapshotMeta meta_;
  mutable std::mutex mutex_;
  mutable std::array<std::shared_ptr<const std::string>, 16> texts_;
};

// Outcome of a command, as an HTTP status with a sentence.
struct CommandOutcome {
  int status = 200;
  std::string message;
};

class FrameFeed {
 public:
  // `pollHz`: copies of the block a second, at most (the fastest client rate).
  FrameFeed(std::unique_ptr<BlockSource> source, double pollHz);
  ~FrameFeed();
  FrameFeed(const FrameFeed&) = delete;
  FrameFeed& operator=(const FrameFeed&) = delete;

  void start();
  // Joins the reader thread; safe to call twice.
  void stop();

  // The newest frame; never null once start() has returned.
  std::shared_ptr<const Frame> latest() const;

  // Writes the command bytes through the source. 503 when there is no
  // plugin (or its layout is unknown), 200 otherwise.
  CommandOutcome command(const BlockCommands& commands);

  // Number of copies taken and how many of them were not whole (for tests
  // and benchmarks).
  uint64_t copies() const { return copies_.load(); }
  uint64_t torn() const { return torn_.load(); }

 private:
  void run();
  void publish(std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta);

  std::unique_ptr<BlockSource> source_;
  std::mutex sourceMutex_;  // the reader thread's copies against commands
  double period_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  mutable std::mutex latestMutex_;
  std::shared_ptr<const Frame> latest_;
  uint64_t nextId_ = 1;
  std::string lastStatus_;
  bool layoutUsable_ = false;
  std::atomic<uint64_t> copies_{0};
  std::atomic<uint64_t> torn_{0};
};

}  // namespace korvanel::tools::live

// The one reader of the block in korvanel-live: a thread that copies the
// block at a fixed rate and keeps only the latest frame. Network code picks
// frames up when it is ready for one; nothing it does can hold the reader
// back, and the reader never waits on the plugin.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "korvanel/shared_block.h"
#include "tools/engineer/race_engineer.h"
#include "tools/reader/block_source.h"
#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {

// One moment of the race: a copy of the block (none without a plugin or
// with an unknown layout), the race engineer's picture of it, and its JSON
// texts, made on first use per set of parts and then shared by every client
// that wants them.
class Frame {
 public:
  // `engineer` may be null: the engineer parts are then left out.
  Frame(uint64_t id, std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta,
        std::shared_ptr<const engineer::EngineerView> engineer = nullptr);
  // A frame of documents made elsewhere (a car followed through a broker):
  // `encode` gives the document of a set of parts; `picture` says whether
  // it holds a race picture or the envelope alone.
  Frame(uint64_t id, std::string status, bool picture,
        std::function<nlohmann::json(unsigned parts)> encode);

  // Grows by one with every new publication or change of status.
  uint64_t id() const { return id_; }
  const std::string& status() const { return meta_.status; }
  bool hasPicture() const { return block_ != nullptr || picture_; }
  // The copy this frame was made from; null without a picture or for a followed car.
  const KorvanelSharedBlock* block() const { return block_.get(); }
  const SnapshotMeta& meta() const { return meta_; }
  // The race engineer's picture at this copy; null when there is none.
  const engineer::EngineerView* engineer() const { return engineer_.get(); }
  // The JSON text of the parts `parts` (SnapshotPart bits; 0 is all), one
  // line. Thread-safe; the first call per set of parts encodes.
  std::shared_ptr<const std::string> text(unsigned parts) const;

 private:
  uint64_t id_;
  std::unique_ptr<KorvanelSharedBlock> block_;
  SnapshotMeta meta_;
  bool picture_ = false;
  std::function<nlohmann::json(unsigned)> encode_;
  std::shared_ptr<const engineer::EngineerView> engineer_;
  mutable std::mutex mutex_;
  // Clients ask for a handful of sets of parts: a short list searched in turn.
  mutable std::vector<std::pair<unsigned, std::shared_ptr<const std::string>>> texts_;
};

// Outcome of a command, as an HTTP status with a sentence.
struct CommandOutcome {
  int status = 200;
  std::string message;
};

// Where the server takes its frames from: this computer's block, or the
// cars followed through a broker.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The newest frame of `car` ("" names the default car); null when no car
  // of that name is known. Thread-safe.
  virtual std::shared_ptr<const Frame> latest(const std::string& car) const = 0;
  // Carries out `commands` for `car`; the outcome as an HTTP status.
  virtual CommandOutcome command(const std::string& car, const BlockCommands& commands) = 0;
  // Sets the race's length the engineer of `car` computes fuel for; frames
  // made from then on carry it. 200 done, 202 passed on to the engineer of
  // a car elsewhere, 404 where there is no engineer. `withToken`: the
  // request carried the command token (a page's race= does not).
  virtual CommandOutcome setRaceLength(const std::string& car, engineer::RaceLength length,
                                       bool withToken) {
    (void)car;
    (void)length;
    (void)withToken;
    return {404, "this source of frames has no race engineer"};
  }
  // The cars to pick from as a JSON document; empty when the server has
  // only its own car (no picker).
  virtual std::string carsText() const { return {}; }
  // A stream now asks for `to` frames a second instead of `from` (0: it
  // opened, or closed). Thread-safe.
  virtual void streamRateChanged(int from, int to) {
    (void)from;
    (void)to;
  }
};

class FrameFeed : public FrameSource {
 public:
  // Copies of the block a second: the fastest rate a stream asks for, at
  // least `minimumHz` (each new copy is the engineer's sample) and at most
  // `maximumHz`. Frames no client takes are not made: each costs its
  // encoding when a client takes it.
  FrameFeed(std::unique_ptr<BlockSource> source, double minimumHz, double maximumHz,
            engineer::RaceLength raceLength = {});
  ~FrameFeed() override;
  FrameFeed(const FrameFeed&) = delete;
  FrameFeed& operator=(const FrameFeed&) = delete;

  void start();
  // Joins the reader thread; safe to call twice.
  void stop();

  // The newest frame; never null once start() has returned.
  std::shared_ptr<const Frame> latest() const;
  // The same whatever `car` says: this computer has one car.
  std::shared_ptr<const Frame> latest(const std::string& car) const override;

  // Writes the command bytes through the source. 503 when there is no
  // plugin (or its layout is unknown), 200 otherwise.
  CommandOutcome command(const BlockCommands& commands);
  CommandOutcome command(const std::string& car, const BlockCommands& commands) override;
  // Handed to the reader thread, which applies it before its next copy and
  // makes a new frame with it.
  CommandOutcome setRaceLength(const std::string& car, engineer::RaceLength length,
                               bool withToken) override;
  void streamRateChanged(int from, int to) override;

  // Number of copies taken and how many of them were not whole (for tests
  // and benchmarks).
  uint64_t copies() const { return copies_.load(); }
  uint64_t torn() const { return torn_.load(); }

 private:
  void run();
  void publish(std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta);

  // The period the streams open now ask for.
  double period() const;

  std::unique_ptr<BlockSource> source_;
  std::mutex sourceMutex_;  // the reader thread's copies against commands
  double minimumHz_, maximumHz_;
  static constexpr int kRates = 61;                 // 0 to 60 frames a second
  std::array<std::atomic<int>, kRates> streams_{};  // streams open at each rate
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  mutable std::mutex latestMutex_;
  std::shared_ptr<const Frame> latest_;
  uint64_t nextId_ = 1;
  std::string lastStatus_;
  bool layoutUsable_ = false;
  std::atomic<uint64_t> copies_{0};
  std::atomic<uint64_t> torn_{0};
  // The reader thread's alone, but for the race length handed over.
  engineer::RaceEngineer engineer_;
  std::mutex raceMutex_;
  std::optional<engineer::RaceLength> newRaceLength_;
};

}  // namespace korvanel::tools::live

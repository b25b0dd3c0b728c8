// The reader thread. A frame is made only when the plugin published
// something (the update or sequence counter moved) or the status changed,
// so clients that send "only what is new" just compare frame ids.
#include "tools/live/frame_feed.h"

#include <algorithm>
#include <chrono>

#include "tools/engineer/engineer_json.h"
#include "tools/platform/tool_platform.h"
#include "tools/reader/block_follower.h"

namespace korvanel::tools::live {
namespace {

std::string now() { return utcTimeStamp(std::chrono::system_clock::now()); }

constexpr unsigned kEngineerParts =
    kPartClasses | kPartRelative | kPartDelta | kPartFuel | kPartHistory;

}  // namespace

Frame::Frame(uint64_t id, std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta,
             std::shared_ptr<const engineer::EngineerView> engineer)
    : id_(id), block_(std::move(block)), meta_(std::move(meta)), engineer_(std::move(engineer)) {}

Frame::Frame(uint64_t id, std::string status, bool picture,
             std::function<nlohmann::json(unsigned parts)> encode)
    : id_(id), picture_(picture), encode_(std::move(encode)) {
  meta_.status = std::move(status);
}

std::shared_ptr<const std::string> Frame::text(unsigned parts) const {
  parts &= kPartAll;
  if (parts == 0) parts = kPartAll;
  std::lock_guard<std::mutex> hold(mutex_);
  for (const auto& [made, text] : texts_) {
    if (made == parts) return text;
  }
  nlohmann::json document = encode_  ? encode_(parts)
                            : block_ ? snapshotJson(*block_, meta_, parts)
                                     : statusJson(meta_);
  if (block_ && engineer_ && (parts & kEngineerParts)) {
    document.update(engineer::engineerJson(*engineer_, parts));
  }
  texts_.emplace_back(parts, std::make_shared<const std::string>(snapshotText(document, -1)));
  return texts_.back().second;
}

FrameFeed::FrameFeed(std::unique_ptr<BlockSource> source, double minimumHz, double maximumHz,
                     engineer::RaceLength raceLength)
    : source_(std::move(source)),
      minimumHz_(minimumHz),
      maximumHz_(maximumHz),
      engineer_(raceLength) {}

void FrameFeed::streamRateChanged(int from, int to) {
  if (from > 0 && from < kRates) streams_[static_cast<size_t>(from)].fetch_sub(1);
  if (to > 0 && to < kRates) streams_[static_cast<size_t>(to)].fetch_add(1);
}

double FrameFeed::period() const {
  double hz = minimumHz_;
  for (int rate = kRates - 1; rate > hz; --rate) {
    if (streams_[static_cast<size_t>(rate)].load() > 0) {
      hz = rate;
      break;
    }
  }
  return 1.0 / std::min(hz, maximumHz_);
}

FrameFeed::~FrameFeed() { stop(); }

void FrameFeed::start() {
  SnapshotMeta meta;
  meta.status = "no-plugin";
  meta.timeStamp = now();
  publish(nullptr, meta);
  thread_ = std::thread([this] { run(); });
}

void FrameFeed::stop() {
  stopping_.store(true);
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<const Frame> FrameFeed::latest() const {
  std::lock_guard<std::mutex> hold(latestMutex_);
  return latest_;
}

std::shared_ptr<const Frame> FrameFeed::latest(const std::string&) const { return latest(); }

CommandOutcome FrameFeed::command(const std::string&, const BlockCommands& commands) {
  return command(commands);
}

void FrameFeed::publish(std::unique_ptr<KorvanelSharedBlock> block, SnapshotMeta meta) {
  auto view = block ? engineer_.view() : nullptr;
  auto frame =
      std::make_shared<const Frame>(nextId_++, std::move(block), std::move(meta), std::move(view));
  std::lock_guard<std::mutex> hold(latestMutex_);
  latest_ = std::move(frame);
}

// This computer's own figures: a page's race= may set them without the token.
CommandOutcome FrameFeed::setRaceLength(const std::string&, engineer::RaceLength length, bool) {
  std::lock_guard<std::mutex> hold(raceMutex_);
  newRaceLength_ = length;
  return {200, "race length set"};
}

CommandOutcome FrameFeed::command(const BlockCommands& commands) {
  std::lock_guard<std::mutex> hold(sourceMutex_);
  if (!source_->isOpen()) return {503, "no plugin is publishing: nothing was written"};
  if (!layoutUsable_) {
    return {503, "the plugin's layout stamp is unknown to this korvanel-live: nothing was written"};
  }
  std::string done = source_->writeCommands(commands);
  if (!done.empty() && done.back() == '\n') done.pop_back();
  return {200, done};
}

void FrameFeed::run() {
  BlockFollower follower(*source_);
  auto copy = std::make_unique<KorvanelSharedBlock>();
  double next = monotonicSeconds();
  while (!stopping_.load()) {
    double t = monotonicSeconds();
    SnapshotMeta meta;
    bool fresh = false;
    bool raceChanged = false;
    {
      std::lock_guard<std::mutex> hold(raceMutex_);
      if (newRaceLength_) {
        engineer_.setRaceLength(*newRaceLength_);
        newRaceLength_.reset();
        raceChanged = true;
      }
    }
    {
      std::lock_guard<std::mutex> hold(sourceMutex_);
      BlockReading reading = follower.read(*copy, t);
      meta.copy = reading.copy;
      if (reading.copied) {
        copies_.fetch_add(1);
        if (!reading.copy.whole) torn_.fetch_add(1);
      }
      if (!reading.open) {
        layoutUsable_ = false;
        // Something of the block's name that is refused (too small, not a
        // file, another user's) is not the plugin missing: the page says so.
        if (reading.opened == OpenResult::kUnknownLayout) {
          meta.status = "unknown-layout";
        } else if (reading.opened == OpenResult::kAbsent) {
          meta.status = "no-plugin";
        } else {
          meta.status = "refused";
          meta.problem = openProblem(reading.opened);
        }
      } else {
        meta.status = publishingStatus(*copy, meta.copy);
        layoutUsable_ = meta.status != std::string("unknown-layout");
        fresh = reading.moved;
        if (reading.idle && meta.status == std::string("publishing")) meta.status = "idle";
      }
    }
    bool picture = source_->isOpen() && layoutUsable_;
    // The engineer samples every new whole copy: the plugin publishes some
    // 90 times a second while a car runs, so the delta moves at the poll
    // rate without frames of its own; with nothing new published nothing
    // it computes can change but the race length, which a new frame carries.
    if (picture && fresh && meta.status == std::string("publishing") && meta.copy.whole) {
      engineer_.observe(*copy, std::chrono::system_clock::now());
    }
    if (fresh || raceChanged || meta.status != lastStatus_) {
      meta.timeStamp = now();
      lastStatus_ = meta.status;
      if (picture) {
        auto next = std::make_unique<KorvanelSharedBlock>();
        std::swap(next, copy);
        publish(std::move(next), meta);
      } else {
        publish(nullptr, meta);
      }
    }
    double step = period();
    next += step;
    double wait = next - monotonicSeconds();
    if (wait < -step) next = monotonicSeconds();  // fell behind: do not catch up in a burst
    sleepSeconds(wait > 0 ? wait : 0);
  }
}

}  // namespace korvanel::tools::live

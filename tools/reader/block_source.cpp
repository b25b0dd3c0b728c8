// Reading the block that the plugin writes without a lock, through the
// reader kit: a whole copy is one that no write overlapped.
#include "tools/reader/block_source.h"

#include "tools/platform/tool_platform.h"

namespace korvanel::tools {
namespace {

struct CopyJob {
  const KorvanelReader* reader;
  KorvanelSharedBlock* out;
  int whole;
};

void copyWholeBlock(void* context) {
  auto* job = static_cast<CopyJob*>(context);
  job->whole = korvanel_copy_block(job->reader, job->out, KORVANEL_COPY_TRIES);
}

class SharedBlockSource final : public BlockSource {
 public:
  ~SharedBlockSource() override { close(); }

  OpenResult open() override {
    close();
    switch (korvanel_open(&reader_, nullptr, 1)) {
      case KORVANEL_OPEN_OK:
        return OpenResult::kOpen;
      case KORVANEL_OPEN_ABSENT:
        return OpenResult::kAbsent;
      case KORVANEL_OPEN_UNKNOWN_LAYOUT:
        return OpenResult::kUnknownLayout;
      case KORVANEL_OPEN_TOO_SMALL:
        return OpenResult::kTooSmall;
      case KORVANEL_OPEN_NOT_A_FILE:
        return OpenResult::kNotAFile;
      case KORVANEL_OPEN_OTHER_OWNER:
        return OpenResult::kOtherOwner;
      default:
        return OpenResult::kFailed;
    }
  }

  void close() override { korvanel_close(&reader_); }

  bool isOpen() const override { return reader_.block != nullptr; }

  CopyResult copy(KorvanelSharedBlock& out) override {
    CopyResult result = copyOnce(out);
    if (result.lost && open() == OpenResult::kOpen) {
      result = copyOnce(out);
      result.lost = true;
    }
    return result;
  }

  std::string writeCommands(const BlockCommands& commands) override {
    return applyCommands(reader_, commands);
  }

  std::string name() const override {
    char text[256];
    return korvanel_block_name(nullptr, text, sizeof text);
  }

 private:
  // One copy; a block found shrunk or replaced, before or after it, or
  // shrinking during it, is closed.
  CopyResult copyOnce(KorvanelSharedBlock& out) {
    CopyResult result;
    CopyJob job{&reader_, &out, 0};
    if (!runGuardingMappedReads(copyWholeBlock, &job) ||
        korvanel_check(&reader_) != KORVANEL_BLOCK_INTACT) {
      close();
      result.lost = true;
      return result;
    }
    // The stamp of the copy, not of the block: the block may be lost by now.
    result.whole = job.whole != 0 && out.layoutStamp == KORVANEL_LAYOUT_STAMP;
    result.sequence = out.sequence;
    result.layoutStamp = out.layoutStamp;
    return result;
  }

  KorvanelReader reader_{};
};

}  // namespace

LayoutCheck checkLayoutStamp(uint32_t stamp) {
  if (stamp == KORVANEL_LAYOUT_STAMP) return LayoutCheck::kKnown;
  return stamp == 0 ? LayoutCheck::kUnstamped : LayoutCheck::kUnknown;
}

const char* openProblem(OpenResult result) {
  switch (result) {
    case OpenResult::kOpen:
      return korvanel_open_problem(KORVANEL_OPEN_OK);
    case OpenResult::kAbsent:
      return korvanel_open_problem(KORVANEL_OPEN_ABSENT);
    case OpenResult::kUnknownLayout:
      return korvanel_open_problem(KORVANEL_OPEN_UNKNOWN_LAYOUT);
    case OpenResult::kFailed:
      return korvanel_open_problem(KORVANEL_OPEN_FAILED);
    case OpenResult::kTooSmall:
      return korvanel_open_problem(KORVANEL_OPEN_TOO_SMALL);
    case OpenResult::kNotAFile:
      return korvanel_open_problem(KORVANEL_OPEN_NOT_A_FILE);
    case OpenResult::kOtherOwner:
      return korvanel_open_problem(KORVANEL_OPEN_OTHER_OWNER);
  }
  return "unknown result";
}

const char* layoutCheckName(LayoutCheck check) {
  switch (check) {
    case LayoutCheck::kUnstamped:
      return "unstamped";
    case LayoutCheck::kKnown:
      return "known";
    case LayoutCheck::kUnknown:
      return "unknown";
  }
  return "unknown";
}

std::unique_ptr<BlockSource> makeSharedBlockSource() {
  return std::make_unique<SharedBlockSource>();
}

std::string fieldText(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != 0) ++length;
  return std::string(field, length);
}

}  // namespace korvanel::tools

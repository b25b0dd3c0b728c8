// Reading the block that the plugin writes without a lock, through the
// reader kit: a whole copy is one that no write overlapped.
#include "tools/reader/block_source.h"

namespace korvanel::tools {
namespace {

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
      default:
        return OpenResult::kFailed;
    }
  }

  void close() override { korvanel_close(&reader_); }

  bool isOpen() const override { return reader_.block != nullptr; }

  CopyResult copy(KorvanelSharedBlock& out) override {
    CopyResult result;
    bool whole = korvanel_copy_block(&reader_, &out, KORVANEL_COPY_TRIES) != 0;
    result.whole = whole && korvanel_layout(&reader_) == KORVANEL_LAYOUT_KNOWN;
    result.sequence = out.sequence;
    result.layoutStamp = out.layoutStamp;
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
  KorvanelReader reader_{};
};

}  // namespace

LayoutCheck checkLayoutStamp(uint32_t stamp) {
  if (stamp == KORVANEL_LAYOUT_STAMP) return LayoutCheck::kKnown;
  return stamp == 0 ? LayoutCheck::kUnstamped : LayoutCheck::kUnknown;
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

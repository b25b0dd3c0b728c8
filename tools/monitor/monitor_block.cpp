// Reading the block that the plugin writes without a lock.
#include "tools/monitor/monitor_block.h"


namespace korvanel::tools {

bool copyBlock(const KorvanelReader& reader, KorvanelSharedBlock& out) {
  // A block without the stamp has no counter that anybody keeps: its copies
  // are never known to be whole.
  bool whole = korvanel_copy_block(&reader, &out, KORVANEL_COPY_TRIES) != 0;
  return whole && korvanel_layout(&reader) == KORVANEL_LAYOUT_KNOWN;
}

std::string fieldText(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != 0) ++length;
  return std::string(field, length);
}

}  // namespace korvanel::tools

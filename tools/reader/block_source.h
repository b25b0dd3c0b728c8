// How the tools reach the plugin's shared block: open it by name, take a
// consistent copy, write command bytes. Programs talk to the small
// BlockSource interface, so the way the copy is made can change (or be
// faked in a test) without touching them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "korvanel/reader.h"
#include "tools/reader/block_commands.h"

namespace korvanel::tools {

// What one copy of the block was like.
struct CopyResult {
  bool whole = false;     // no write overlapped the copy (as far as the counters tell)
  uint32_t sequence = 0;  // the sequence counter the copy was taken at
  uint32_t layoutStamp = 0;
  // The block shrank or was replaced under the reader (see korvanel_check):
  // the source closed it and opened the name again once. The copy is of the
  // block now there when the source is open again, else not whole.
  bool lost = false;
};

// The layout stamps this build reads.
enum class LayoutCheck {
  kUnstamped,  // 0: a plugin that predates the stamp (or has not published yet)
  kKnown,
  kUnknown,  // a plugin of another layout: its bytes must not be read as this header's
};
LayoutCheck checkLayoutStamp(uint32_t stamp);
// "unstamped", "known" or "unknown".
const char* layoutCheckName(LayoutCheck check);

// Every result but kOpen leaves the source closed; openProblem says each in words.
enum class OpenResult {
  kOpen,
  kAbsent,         // no block: no plugin is running
  kUnknownLayout,  // a block of a layout this build does not read
  kFailed,         // a block that cannot be opened or mapped
  kTooSmall,       // something of the name shorter than the block
  kNotAFile,       // a FIFO, link, socket or folder of the name: never the plugin's
  kOtherOwner,     // another user's object: never this user's plugin, maybe a fake
};
// One sentence, without the block's name, on what `result` means.
const char* openProblem(OpenResult result);

class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // Maps the block, for reading and writing commands, when it exists, is
  // one the plugin of this user can have made, and has a layout this build
  // reads; otherwise stays closed and says why. Opening an open source
  // reopens it.
  virtual OpenResult open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // REQUIRES: isOpen(). Copies the whole block into `out` with the reader
  // kit's read protocol (bounded retries; never blocks the plugin). Only a
  // stamped block's copy can be whole. A block that shrinks or is replaced
  // meanwhile is reopened (CopyResult::lost); the source may be closed
  // afterwards.
  virtual CopyResult copy(KorvanelSharedBlock& out) = 0;
  // REQUIRES: isOpen(). Writes the command bytes; returns one line per
  // command saying what was written.
  virtual std::string writeCommands(const BlockCommands& commands) = 0;
  // The name the block is opened under (with the test suffix, if any).
  virtual std::string name() const = 0;
};

// The plugin's named block, mapped through the plugin's platform layer.
std::unique_ptr<BlockSource> makeSharedBlockSource();

// A fixed-size text field as a string, never reading past the field.
std::string fieldText(const char* field, size_t size);
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return fieldText(field, N);
}

}  // namespace korvanel::tools

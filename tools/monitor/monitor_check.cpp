// Two copies a second apart tell loaded from publishing: every update of
// the plugin moves the update counter.
#include "tools/monitor/monitor_check.h"

#include <memory>

#include "tools/reader/snapshot_json.h"
#include "tools/reader/terminal_text.h"
#include "tools/platform/tool_platform.h"

namespace korvanel::tools {

int checkPlugin(BlockSource& block, std::FILE* out) {
  OpenResult opened = block.open();
  std::string name = terminalText(block.name());
  if (opened == OpenResult::kUnknownLayout) {
    std::fprintf(out,
                 "The Korvanel plugin's shared block \"%s\" is there, but of a layout this\n"
                 "monitor does not know: the plugin and the monitor come from different\n"
                 "releases. Install the monitor of the plugin's release.\n",
                 name.c_str());
    return 1;
  }
  if (opened != OpenResult::kOpen && opened != OpenResult::kAbsent) {
    // Something is there under the name that the plugin cannot have made,
    // or that this user cannot open: not "not running".
    std::fprintf(out,
                 "Refused the shared block \"%s\": %s.\n"
                 "- The plugin makes its block for its own user; this one was made by\n"
                 "  something else, or cut short by another program. On Linux it is\n"
                 "  /dev/shm/%s: ls -l shows who made it. Remove it while no simulator\n"
                 "  runs; the plugin makes its block anew when it starts.\n"
                 "- Run this program as the same user as the simulator.\n",
                 name.c_str(), openProblem(opened), name.c_str());
    return 1;
  }
  if (opened != OpenResult::kOpen) {
    std::fprintf(out,
                 "Korvanel is not running: there is no shared block named \"%s\".\n"
                 "- Start the simulator (the plugin loads with it) and a session.\n"
                 "- Check that Plugins/Korvanel.dll is in the simulator's folder and that\n"
                 "  Plugins/KORVANEL/KORVANEL.log.txt was written when it started: if the log\n"
                 "  is missing, the simulator did not load the plugin.\n"
                 "- Run this program as the same user as the simulator.\n",
                 name.c_str());
    return 2;
  }
  auto first = std::make_unique<KorvanelSharedBlock>();
  auto second = std::make_unique<KorvanelSharedBlock>();
  CopyResult a = block.copy(*first);
  sleepSeconds(1.0);
  CopyResult b = block.isOpen() ? block.copy(*second) : a;
  if (a.lost || b.lost) {
    std::fprintf(out,
                 "The shared block \"%s\" shrank or was replaced while this monitor read it:\n"
                 "another program truncated or removed it. Run the check again.\n",
                 name.c_str());
    return 1;
  }
  LayoutCheck layout = checkLayoutStamp(b.layoutStamp);
  std::fprintf(out, "The Korvanel plugin's shared block \"%s\" is there.\n", name.c_str());
  if (layout == LayoutCheck::kUnstamped) {
    std::fprintf(out,
                 "Layout: %u bytes, without a layout stamp: a plugin from before stamps, or\n"
                 "one that has not published yet; copies cannot be told whole.\n",
                 KORVANEL_SHARED_BLOCK_SIZE);
  } else if (layout == LayoutCheck::kKnown) {
    std::fprintf(out, "Layout: stamp 0x%08x (layout version %u), which this monitor reads.\n",
                 b.layoutStamp, b.layoutStamp & 0xffffu);
  } else {
    std::fprintf(out,
                 "Layout: stamp 0x%08x, which this monitor does not know: the plugin and the\n"
                 "monitor come from different releases. Install the monitor of the plugin's\n"
                 "release (or the plugin of this one).\n",
                 b.layoutStamp);
    return 1;
  }
  int moved = second->state.updateCount - first->state.updateCount;
  (void)a;
  if (second->state.closed || second->state.shutDown) {
    std::fprintf(out,
                 "Not publishing: the simulator has shut the plugin down (it is closing or\n"
                 "has closed). Start the simulator again.\n");
    return 1;
  }
  if (moved <= 0) {
    std::fprintf(out,
                 "Loaded, but not publishing: no update in the last second. The plugin only\n"
                 "publishes while a session runs: load a track and drive out of the garage.\n");
    return 1;
  }
  std::fprintf(out, "Loaded and publishing: %d updates in the last second, %s, %d cars.\n", moved,
               second->state.sessionActive ? "session active" : "no session",
               second->scoring.vehicleCount);
  return 0;
}

}  // namespace korvanel::tools

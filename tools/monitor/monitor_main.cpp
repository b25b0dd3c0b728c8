// korvanel-monitor: opens Korvanel's shared block by name and shows a live
// timing screen, prints one snapshot as JSON, or writes command bytes.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "korvanel/shared_block.h"
#include "tools/engineer/engineer_json.h"
#include "tools/engineer/race_engineer.h"
#include "tools/monitor/monitor_check.h"
#include "tools/monitor/monitor_screen.h"
#include "tools/reader/block_commands.h"
#include "tools/reader/block_follower.h"
#include "tools/reader/block_source.h"
#include "tools/reader/snapshot_json.h"
#include "tools/reader/terminal_text.h"
#include "tools/platform/tool_platform.h"

namespace {

using namespace korvanel::tools;

constexpr int kNotRunning = 2;
constexpr int kUsage = 2;

struct Options {
  bool json = false;
  std::vector<std::string> parts;
  bool check = false;
  BlockCommands commands;
  int intervalMs = 250;
  double seconds = 0.0;  // 0: until Ctrl-C
  int rows = 30;
  bool plain = false;
  engineer::RaceLength raceLength;
};

// The names of the SnapshotPart bits, lowest first, as korvanel-live takes them.
const std::vector<std::string>& partNames() {
  static const std::vector<std::string> names = {"session", "standings", "player",
                                                 "records", "classes",   "relative",
                                                 "delta",   "fuel",      "history"};
  return names;
}

constexpr unsigned kEngineerParts =
    kPartClasses | kPartRelative | kPartDelta | kPartFuel | kPartHistory;

// None named: the block's own four parts, as before the engineer.
unsigned partBits(const std::vector<std::string>& names) {
  if (names.empty()) return kPartAll & ~kEngineerParts;
  unsigned bits = 0;
  for (const std::string& name : names) {
    auto at = std::find(partNames().begin(), partNames().end(), name);
    bits |= 1u << (at - partNames().begin());
  }
  return bits;
}

void addOptions(CLI::App& app, Options& o) {
  CLI::Option* json = app.add_flag("--json", o.json, "Print one snapshot as JSON and exit");
  app.add_option("--parts", o.parts,
                 "Parts of the JSON snapshot, comma-separated (default: session, standings, "
                 "player, records); the race engineer's parts are worked out from this one copy")
      ->delimiter(',')
      ->check(CLI::IsMember(partNames()))
      ->needs(json);
  app.add_flag("--check", o.check,
               "Say whether the plugin is loaded and publishing, and what to do if not");
  app.add_option("--class-row", o.commands.classRow, "Select the class row the plugin groups by")
      ->check(CLI::Range(0, 255));
  app.add_option("--reset-odometer", o.commands.odometer,
                 "Reset the odometer's vehicle or track total")
      ->check(CLI::IsMember({"vehicle", "track"}));
  app.add_option("--kers", o.commands.kers, "Switch the KERS timer on or off, run or stop it")
      ->check(CLI::IsMember({"on", "off", "run", "stop"}));
  app.add_option("--interval", o.intervalMs, "Milliseconds between screens")
      ->check(CLI::Range(20, 60000))
      ->capture_default_str();
  app.add_option("--seconds", o.seconds, "Stop after this many seconds (default: Ctrl-C)")
      ->check(CLI::Range(0.0, 1e7));
  app.add_option("--rows", o.rows, "Cars listed at most")
      ->check(CLI::Range(1, 150))
      ->capture_default_str();
  app.add_flag("--plain", o.plain, "No colours or cursor movement; one screen after another");
  app.add_option("--race-laps", o.raceLength.laps, "Laps of the race, for fuel to the finish")
      ->check(CLI::Range(1, 100000));
  app.add_option("--race-minutes", o.raceLength.minutes,
                 "Minutes of the race on the session clock, for fuel to the finish")
      ->check(CLI::Range(1.0, 100000.0))
      ->excludes("--race-laps");
}

// The engineer needs every scoring update (five a second at the host's
// usual rate) to see laps, sectors and stops; screens come slower.
constexpr double kSamplePeriod = 1.0 / 30.0;

int watch(BlockSource& block, const Options& o) {
  installInterruptFlag();
  bool terminal = prepareTerminal() && !o.plain;
  ScreenStyle style{terminal, o.rows};
  // Off a terminal the screens go one after the other into a log: fewer.
  double interval = terminal ? o.intervalMs / 1000.0 : std::max(o.intervalMs / 1000.0, 2.0);
  auto copy = std::make_unique<KorvanelSharedBlock>();
  // A block lost under the monitor, or one that stands still while a
  // restarted host publishes a new one, is opened again as korvanel-live does.
  BlockFollower follower(block);
  engineer::RaceEngineer raceEngineer(o.raceLength);
  raceEngineer.setRelativeCars(2);
  double start = monotonicSeconds();
  double nextScreen = start;
  if (terminal) std::fputs("\x1b[?25l\x1b[2J", stdout);
  while (!interrupted()) {
    BlockReading reading = follower.read(*copy, monotonicSeconds());
    if (reading.open && reading.copy.whole && reading.moved) {
      raceEngineer.observe(*copy, std::chrono::system_clock::now());
    }
    double now = monotonicSeconds();
    if (now < nextScreen) {
      sleepSeconds(std::min(kSamplePeriod, nextScreen - now));
      continue;
    }
    std::string screen;
    if (reading.open) {
      style.lines = terminal ? terminalLines() : 0;
      style.idle = reading.idle;
      screen = renderScreen(*copy, style, reading.copy.whole, raceEngineer.view().get());
    } else {
      screen = "Korvanel's shared block \"" + terminalText(block.name()) + "\" is gone:\n" +
               (reading.copy.lost ? "it shrank or was replaced under the monitor"
                                  : openProblem(reading.opened)) +
               ". Waiting for it.\n";
    }
    if (terminal) {
      std::fputs("\x1b[H", stdout);
      std::fputs(screen.c_str(), stdout);
      std::fputs("\x1b[J", stdout);
    } else {
      std::fputs(screen.c_str(), stdout);
      std::fputs("\n", stdout);
    }
    std::fflush(stdout);
    if (o.seconds > 0 && now - start + interval > o.seconds) break;
    nextScreen = now + interval;
  }
  if (terminal) std::fputs("\x1b[?25h", stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Live timing screen of the Korvanel plugin, read from its shared block.\n"
      "Exit codes: 0 done, 2 bad usage or no block to read (the message says why).",
      "korvanel-monitor"};
  Options options;
  addOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "korvanel-monitor: %s\n\n%s", e.what(), app.help().c_str());
    return kUsage;
  }

  auto block = makeSharedBlockSource();
  if (options.check) return checkPlugin(*block, stdout);
  OpenResult opened = block->open();
  std::string name = terminalText(block->name());
  if (opened != OpenResult::kOpen) {
    if (opened == OpenResult::kUnknownLayout) {
      std::fprintf(stderr,
                   "korvanel-monitor: shared block \"%s\" has a layout this monitor "
                   "does not know\n",
                   name.c_str());
    } else if (opened == OpenResult::kAbsent) {
      std::fprintf(stderr,
                   "korvanel-monitor: no shared block \"%s\": the host with the Korvanel plugin "
                   "is not running\n",
                   name.c_str());
    } else {
      // Refused: nothing is read from it and no command is written into it.
      std::fprintf(stderr, "korvanel-monitor: shared block \"%s\" refused: %s\n", name.c_str(),
                   openProblem(opened));
    }
    return kNotRunning;
  }
  int result = 0;
  if (options.commands.any()) {
    std::string done = block->writeCommands(options.commands);
    if (!options.json) std::fputs(done.c_str(), stdout);
  }
  if (options.json) {
    auto copy = std::make_unique<KorvanelSharedBlock>();
    SnapshotMeta meta;
    meta.copy = block->copy(*copy);
    if (!block->isOpen()) {
      std::fprintf(stderr,
                   "korvanel-monitor: shared block \"%s\" shrank or was replaced while read, "
                   "and none is there now\n",
                   name.c_str());
      return kNotRunning;
    }
    meta.timeStamp = utcTimeStamp(std::chrono::system_clock::now());
    meta.status = publishingStatus(*copy, meta.copy);
    unsigned parts = partBits(options.parts);
    nlohmann::json document = snapshotJson(*copy, meta, parts);
    if (parts & kEngineerParts) {
      engineer::RaceEngineer raceEngineer(options.raceLength);
      raceEngineer.observe(*copy, std::chrono::system_clock::now());
      engineer::addEngineerJson(document, *raceEngineer.view(), parts);
    }
    std::printf("%s\n", snapshotText(document, 1, true).c_str());
  } else if (!options.commands.any()) {
    result = watch(*block, options);
  }
  return result;
}

// korvanel-monitor: opens Korvanel's shared block by name and shows a live
// timing screen, prints one snapshot as JSON, or writes command bytes.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "korvanel/shared_block.h"
#include "tools/monitor/monitor_block.h"
#include "tools/monitor/monitor_commands.h"
#include "tools/monitor/monitor_json.h"
#include "tools/monitor/monitor_screen.h"
#include "tools/platform/tool_platform.h"

namespace {

using namespace korvanel::tools;

constexpr int kNotRunning = 2;
constexpr int kUsage = 2;

struct Options {
  bool json = false;
  MonitorCommands commands;
  int intervalMs = 250;
  double seconds = 0.0;  // 0: until Ctrl-C
  int rows = 30;
  bool plain = false;
};

void addOptions(CLI::App& app, Options& o) {
  app.add_flag("--json", o.json, "Print one snapshot as JSON and exit");
  app.add_option("--class-row", o.commands.classRow, "Select the class row the plugin groups by")
      ->check(CLI::Range(0, 255));
  app.add_option("--reset-odometer", o.commands.odometer,
                 "Reset the odometer's vehicle or track total")
      ->check(CLI::IsMember({"vehicle", "track"}));
  app.add_option("--kers", o.commands.kers, "Switch the KERS timer on or off, run or stop it")
      ->check(CLI::IsMember({"on", "off", "run", "stop"}));
  app.add_option("--interval", o.intervalMs, "Milliseconds between screens")
      ->check(CLI::Range(20, 60000))->capture_default_str();
  app.add_option("--seconds", o.seconds, "Stop after this many seconds (default: Ctrl-C)")
      ->check(CLI::Range(0.0, 1e7));
  app.add_option("--rows", o.rows, "Cars listed at most")->check(CLI::Range(1, 150))
      ->capture_default_str();
  app.add_flag("--plain", o.plain, "No colours or cursor movement; one screen after another");
}

int watch(const KorvanelReader& reader, const Options& o) {
  installInterruptFlag();
  bool terminal = prepareTerminal() && !o.plain;
  ScreenStyle style{terminal, o.rows};
  // Off a terminal the screens go one after the other into a log: fewer.
  double interval = terminal ? o.intervalMs / 1000.0 : std::max(o.intervalMs / 1000.0, 2.0);
  auto copy = std::make_unique<KorvanelSharedBlock>();
  double start = monotonicSeconds();
  if (terminal) std::fputs("\x1b[?25l\x1b[2J", stdout);
  while (!interrupted()) {
    bool whole = copyBlock(reader, *copy);
    std::string screen = renderScreen(*copy, style, whole);
    if (terminal) {
      std::fputs("\x1b[H", stdout);
      std::fputs(screen.c_str(), stdout);
      std::fputs("\x1b[J", stdout);
    } else {
      std::fputs(screen.c_str(), stdout);
      std::fputs("\n", stdout);
    }
    std::fflush(stdout);
    if (o.seconds > 0 && monotonicSeconds() - start + interval > o.seconds) break;
    sleepSeconds(interval);
  }
  if (terminal) std::fputs("\x1b[?25h", stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Live timing screen of the Korvanel plugin, read from its shared block.\n"
      "Exit codes: 0 done, 2 bad usage or the host with the plugin is not running.",
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

  KorvanelReader reader;
  KorvanelOpenResult opened = korvanel_open(&reader, nullptr, options.commands.any());
  if (opened != KORVANEL_OPEN_OK) {
    char name[256];
    korvanel_block_name(nullptr, name, sizeof name);
    if (opened == KORVANEL_OPEN_UNKNOWN_LAYOUT) {
      std::fprintf(stderr, "korvanel-monitor: shared block \"%s\" has a layout this monitor "
                   "does not know\n", name);
    } else {
      std::fprintf(stderr,
                   "korvanel-monitor: no shared block \"%s\": the host with the Korvanel plugin "
                   "is not running\n", name);
    }
    return kNotRunning;
  }
  int result = 0;
  if (options.commands.any()) {
    std::string done = applyCommands(reader, options.commands);
    if (!options.json) std::fputs(done.c_str(), stdout);
  }
  if (options.json) {
    auto copy = std::make_unique<KorvanelSharedBlock>();
    bool whole = copyBlock(reader, *copy);
    std::string text =
        snapshotJson(*copy, whole).dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
  } else if (!options.commands.any()) {
    result = watch(reader, options);
  }
  korvanel_close(&reader);
  return result;
}

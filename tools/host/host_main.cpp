// korvanel-host: a substitute for the racing simulator. Loads a plugin
// library, creates its object through the exports and drives it through a
// seeded race (or a recorded one) the way the simulator does.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tools/host/host_run.h"
#include "tools/host/plugin_calls.h"
#include "tools/race/race_summary.h"
#include "tools/recording/recording.h"
#include "platform/platform.h"
#include "tools/platform/tool_platform.h"

#include "korvanel/shared_block.h"

namespace {

using namespace korvanel::tools;

// Exit codes, as the help text lists them.
constexpr int kUsage = 2;
constexpr int kPluginFailed = 1;
constexpr int kRecordingFailed = 3;
constexpr int kRecordingDamaged = 4;

struct Options {
  std::string plugin;
  RaceOptions race;
  RunSettings run;
  std::string record, replay, summary;
  bool destroyThroughTable = false;
};

void addOptions(CLI::App& app, Options& o) {
  app.add_option("plugin", o.plugin, "Path of the plugin library (Korvanel.dll, libKorvanel.so)")
      ->required();
  auto* race = "Race";
  app.add_option("--cars", o.race.cars, "Number of cars (150 fit the published block; up to 255)")
      ->check(CLI::Range(1, 255))
      ->group(race)
      ->capture_default_str();
  app.add_option("--classes", o.race.classes, "Number of classes, 1 to 3")
      ->check(CLI::Range(1, 3))
      ->group(race)
      ->capture_default_str();
  app.add_option("--track-length", o.race.trackLength, "Lap length in metres")
      ->check(CLI::Range(300.0, 50000.0))
      ->group(race)
      ->capture_default_str();
  app.add_option("--track-name", o.race.trackName, "Track name")
      ->group(race)
      ->capture_default_str();
  app.add_option("--session", o.race.session, "Session code (10 to 13: race)")
      ->check(CLI::Range(0, 255))
      ->group(race)
      ->capture_default_str();
  app.add_option("--session-length", o.race.sessionLength,
                 "Race length in seconds from the green flag; without --laps the leader then "
                 "finishes its lap and every other car the next time it crosses the line")
      ->check(CLI::Range(5.0, 86400.0))
      ->group(race)
      ->capture_default_str();
  app.add_option("--laps", o.race.laps, "End when the leader has done this many laps (0: no limit)")
      ->check(CLI::Range(0, 10000))
      ->group(race)
      ->capture_default_str();
  app.add_option("--player", o.race.playerGrid,
                 "Grid slot of the player's car (default: mid-field)")
      ->check(CLI::Range(0, 254))
      ->group(race);
  app.add_option("--seed", o.race.seed, "Seed of the race (default: from the clock)")->group(race);

  auto* pace = "Pace";
  auto* speed =
      app.add_option("--speed", o.run.speed, "Speed factor: 1 real time, 10 ten times as fast")
          ->check(CLI::Range(0.01, 10000.0))
          ->group(pace)
          ->capture_default_str();
  app.add_flag("--fast", o.run.fast, "As fast as possible")->excludes(speed)->group(pace);
  app.add_option("--telemetry-rate", o.run.telemetryRate, "Telemetry updates per second")
      ->check(CLI::Range(1.0, 1000.0))
      ->group(pace)
      ->capture_default_str();
  app.add_option("--scoring-rate", o.run.scoringRate, "Scoring updates per second")
      ->check(CLI::Range(0.1, 100.0))
      ->group(pace)
      ->capture_default_str();

  auto* files = "Recording";
  auto* record = app.add_option("--record", o.record, "Record every call into FILE")->group(files);
  auto* summary =
      app.add_option("--summary", o.summary, "Write what happened in the race as JSON to FILE")
          ->group(files);
  app.add_option("--replay", o.replay,
                 "Replay the calls recorded in FILE instead of racing (race options do not apply)")
      ->excludes(record)
      ->excludes(summary)
      ->group(files);

  app.add_option("--hold-file", o.run.holdFile,
                 "After the race keep the plugin updated while FILE exists")
      ->group("Other");
  app.add_option("--hold-limit", o.run.holdLimit, "Hold at most this many seconds")
      ->check(CLI::Range(0.0, 86400.0))
      ->group("Other")
      ->capture_default_str();
  app.add_flag("--destroy-through-table", o.destroyThroughTable,
               "Destroy the object through slot 0 of its table instead of DestroyPluginObject")
      ->group("Other");
  app.add_flag("--quiet", o.run.quiet, "Print only errors")->group("Other");
}

bool writeSummary(const std::string& path, const RaceModel& model) {
  std::ofstream out(path);
  out << raceSummary(model).dump(1) << "\n";
  return static_cast<bool>(out);
}

int run(const Options& options) {
  installInterruptFlag();
  // The plugin keeps its log, configuration and odometer in Plugins/KORVANEL
  // under the working directory, as in the simulator's folder.
  std::error_code ignored;
  std::filesystem::create_directories("Plugins/KORVANEL", ignored);

  RecordReader reader;
  std::string error;
  if (!options.replay.empty() && (!reader.open(options.replay, error) || !reader.verify(error))) {
    std::fprintf(stderr, "korvanel-host: %s\n", error.c_str());
    return reader.damaged() ? kRecordingDamaged : kRecordingFailed;
  }

  PluginCaller plugin;
  if (!plugin.load(options.plugin, error)) {
    std::fprintf(stderr, "korvanel-host: %s\n", error.c_str());
    return kPluginFailed;
  }
  if (!options.run.quiet) {
    std::printf("korvanel-host: loaded \"%s\", type %d, version %d\n", plugin.name().c_str(),
                plugin.type(), plugin.version());
  }
  if (!plugin.create()) {
    std::fprintf(stderr, "korvanel-host: CreatePluginObject returned no object\n");
    return kPluginFailed;
  }
  PluginCalls pluginCalls(plugin);
  if (!options.run.quiet && !pluginCalls.wantsScoring()) {
    std::printf("korvanel-host: the plugin declines scoring updates\n");
  }
  if (!options.run.quiet && !pluginCalls.wantsTelemetry()) {
    std::printf("korvanel-host: the plugin declines telemetry updates\n");
  }

  int result = 0;
  if (!options.replay.empty()) {
    if (!runReplay(reader, pluginCalls, options.run, error)) {
      std::fprintf(stderr, "korvanel-host: %s\n", error.c_str());
      result = reader.damaged() ? kRecordingDamaged : kRecordingFailed;
    }
  } else {
    RaceModel model(options.race);
    if (!options.run.quiet) {
      char pace[64];
      std::snprintf(pace, sizeof pace, options.run.fast ? "as fast as possible" : "speed x%g",
                    options.run.speed);
      std::printf("korvanel-host: %zu cars, %d classes, %.0f m lap, seed %u, %s\n",
                  model.cars().size(), model.options().classes, model.track().length(),
                  options.race.seed, pace);
      std::fflush(stdout);
    }
    RecordWriter writer;
    FanOut calls;
    calls.add(&pluginCalls);
    if (!options.record.empty()) {
      if (!writer.open(options.record, error)) {
        std::fprintf(stderr, "korvanel-host: %s\n", error.c_str());
        plugin.destroy(options.destroyThroughTable);
        return kRecordingFailed;
      }
      calls.add(&writer);
    }
    runRace(model, calls, pluginCalls, options.run, [&] {
      if (!options.summary.empty() && !writeSummary(options.summary, model)) {
        std::fprintf(stderr, "korvanel-host: cannot write %s\n", options.summary.c_str());
        result = kRecordingFailed;
      }
    });
    if (!options.record.empty() && !writer.close(error)) {
      std::fprintf(stderr, "korvanel-host: %s\n", error.c_str());
      result = kRecordingFailed;
    }
  }
  plugin.destroy(options.destroyThroughTable);
  plugin.unload();
  // As when the host's process ends: a later reader finds nothing.
  korvanel::platform::unlinkNamedObjects();
  if (!options.run.quiet) std::printf("korvanel-host: done\n");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Substitute host: drives a plugin library through a seeded race, as the simulator does.\n"
      "Runs in the working directory, which gets a Plugins/KORVANEL folder for the plugin's "
      "files.\nExit codes: 0 done, 1 the plugin did not load, 2 bad usage, 3 a recording "
      "could not be read or written or the run failed, 4 the recording to replay is damaged.",
      "korvanel-host"};
  Options options;
  options.race.seed = static_cast<uint32_t>(monotonicSeconds() * 1000.0);
  addOptions(app, options);
  try {
    app.parse(argc, argv);
    if (options.race.playerGrid >= options.race.cars) {
      throw CLI::ValidationError(
          "--player", "the grid has only " + std::to_string(options.race.cars) + " slots");
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "korvanel-host: %s\n\n%s", e.what(), app.help().c_str());
    return kUsage;
  }
  try {
    return run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvanel-host: the run failed: %s\n", e.what());
    return kRecordingFailed;
  }
}

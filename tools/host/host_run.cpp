// The session loop of the substitute host: one telemetry record per step of
// the race, a scoring record every few steps, in time with the wall clock.
#include "tools/host/host_run.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "tools/host/pacer.h"
#include "tools/platform/tool_platform.h"

namespace korvanel::tools {
namespace {

int stepsPerScoring(const RunSettings& s) {
  int k = static_cast<int>(std::lround(s.telemetryRate / s.scoringRate));
  return k < 1 ? 1 : k;
}

// After the race the host keeps the plugin fed with the last two records,
// unchanged, in real time, so a display program can look at the result and
// send commands, until the hold file is removed.
void holdWhileFileExists(HostCalls& plugin, const HostScoring& scoring,
                         const HostTelemetry& telemetry, const RunSettings& settings) {
  if (settings.holdFile.empty() || interrupted()) return;
  std::printf("korvanel-host: holding while %s exists\n", settings.holdFile.c_str());
  std::fflush(stdout);
  int k = stepsPerScoring(settings);
  Pacer pacer(1.0, false);
  pacer.start();
  double dt = 1.0 / settings.telemetryRate;
  for (long i = 1; !interrupted(); ++i) {
    double t = i * dt;
    if (t > settings.holdLimit) {
      std::fprintf(stderr, "korvanel-host: hold limit of %.0f s reached\n", settings.holdLimit);
      break;
    }
    if (i % 9 == 0 && !std::filesystem::exists(settings.holdFile)) break;
    pacer.waitFor(t);
    plugin.telemetry(telemetry);
    if (i % k == 0) plugin.scoring(scoring);
  }
}

void reportLap(const RaceModel& model, int& leaderLaps, bool quiet) {
  int laps = 0;
  const Car* leader = nullptr;
  for (const Car& car : model.cars()) {
    if (car.place == 1) leader = &car;
    if (car.laps > laps) laps = car.laps;
  }
  if (laps == leaderLaps || quiet || leader == nullptr) return;
  leaderLaps = laps;
  std::printf("korvanel-host: %.1f s, leader %s has done %d lap%s\n", model.time(),
              leader->driver.c_str(), laps, laps == 1 ? "" : "s");
  std::fflush(stdout);
}

}  // namespace

void runRace(RaceModel& model, HostCalls& calls, HostCalls& plugin, const RunSettings& settings,
             const std::function<void()>& finished) {
  const double dt = 1.0 / settings.telemetryRate;
  const int k = stepsPerScoring(settings);
  Pacer pacer(settings.speed, settings.fast);
  pacer.start();

  calls.startup(0);
  calls.startSession();
  calls.enterRealtime();
  calls.scoring(model.scoring(true));
  calls.telemetry(model.telemetry(dt));
  int leaderLaps = 0;
  bool timeUpShown = false;
  for (long i = 1; !model.finished(); ++i) {
    if (interrupted()) {
      model.finish();
      break;
    }
    model.step(dt);
    pacer.waitFor(model.time());
    calls.telemetry(model.telemetry(dt));
    if (i % k == 0) {
      calls.scoring(model.scoring(true));
      reportLap(model, leaderLaps, settings.quiet);
    }
    if (model.chequered() && !timeUpShown && !settings.quiet) {
      timeUpShown = true;
      std::printf("korvanel-host: time is up at %.1f s: the leader finishes its lap\n",
                  model.time());
      std::fflush(stdout);
    }
  }
  // The field at a standstill, once, as a recording will replay it.
  const HostScoring& last = model.scoring(true);
  calls.scoring(last);
  HostTelemetry stopped = model.telemetry(0.0);
  calls.telemetry(stopped);
  if (!settings.quiet) {
    std::printf("korvanel-host: race over at %.1f s of session time\n", model.time());
    std::fflush(stdout);
  }
  if (finished) finished();
  calls.hold();
  holdWhileFileExists(plugin, last, stopped, settings);
  calls.exitRealtime();
  calls.endSession();
  calls.shutdown();
}

bool runReplay(RecordReader& reader, HostCalls& plugin, const RunSettings& settings,
               std::string& error) {
  Pacer pacer(settings.speed, settings.fast);
  pacer.start();
  RecordedCall call, lastScoring;
  HostTelemetry lastTelemetry{};
  bool afterHold = false;  // what follows the hold comes when the hold ends
  while (reader.next(call, error)) {
    bool update = call.kind == CallKind::kScoring || call.kind == CallKind::kTelemetry ||
                  call.kind == CallKind::kHold;
    // Ctrl-C skips the rest of the updates but still ends the session.
    if (interrupted() && update) continue;
    if (!afterHold) pacer.waitFor(call.wallSeconds);
    switch (call.kind) {
      case CallKind::kStartup:
        plugin.startup(call.startupValue);
        break;
      case CallKind::kShutdown:
        plugin.shutdown();
        break;
      case CallKind::kStartSession:
        plugin.startSession();
        break;
      case CallKind::kEndSession:
        plugin.endSession();
        break;
      case CallKind::kEnterRealtime:
        plugin.enterRealtime();
        break;
      case CallKind::kExitRealtime:
        plugin.exitRealtime();
        break;
      case CallKind::kScoring:
        lastScoring = call;
        plugin.scoring(lastScoring.scoring());
        break;
      case CallKind::kTelemetry:
        lastTelemetry = call.telemetry;
        plugin.telemetry(lastTelemetry);
        break;
      case CallKind::kHold:
        if (!settings.quiet) std::printf("korvanel-host: replay reached the end of the race\n");
        std::fflush(stdout);
        holdWhileFileExists(plugin, lastScoring.scoring(), lastTelemetry, settings);
        afterHold = true;
        break;
      case CallKind::kEnd:
        break;
    }
  }
  return error.empty();
}

}  // namespace korvanel::tools

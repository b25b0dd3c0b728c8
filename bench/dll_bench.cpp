// The update cycles of the shipped DLL, measured as the host runs them: the
// program loads the DLL, calls the plugin object through its table with
// thiscall, and times each call with the performance counter, interleaved
// with copies of the bytes that call publishes, in the same process. It
// prints the same table as the native benchmark, and exits non-zero when a
// target is missed.
//
//   korvanel_dll_bench [--dll=PATH] [--repetitions=N] [--quick] [--only=TEXT]
//                      [--against=PATH]
//
// --only runs just the cases whose label holds TEXT (for a profiler).
// --against loads a second DLL beside the first, each with a shared block
// of its own, and runs each repetition of each case on both in turns: the
// machine's state drifts over seconds (another guest on the same cores, the
// host's memory management), and only figures taken side by side in one
// process compare two builds to a few per cent. It prints their times and
// the ratio of the second to the first.
//
// The race is as hard as the host's: every car moves between two updates,
// sectors and laps are crossed and times change, cars pit, and a display
// has selected a class row of five patterns. Each scoring case starts every
// repetition with a new session and a new race, so that pit stops and new
// timing entries fall inside the timed window.
//
// Two references are timed: the copy through the C runtime the DLL imports
// (which differs between Windows and Wine) and a copy of this program's own
// that no runtime provides. Ratios are to the faster of the two, the limit
// of what an update that publishes those bytes can cost.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_config.h"
#include "bench/table_row.h"
#include "tools/race/race_generator.h"
#include "host/host_records.h"
#include "include/korvanel/shared_block.h"
#include "tests/win32/dll_host.h"

namespace korvanel::bench {
namespace {

using wine::DllHost;

// A string move of the whole block: what glibc's memcpy does natively for
// blocks of this size, and on processors with fast string moves the fastest
// plain copy (a loop of 16-byte loads and stores measured half its speed
// here). Independent of any C runtime.
__attribute__((noinline)) void ownCopy(void* to, const void* from, size_t n) {
  asm volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
}

using CopyFn = void (*)(void*, const void*, size_t);
void runtimeCopy(void* to, const void* from, size_t n) { std::memcpy(to, from, n); }

double counterSeconds() {
  static double period = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1.0 / static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * period;
}

// The DLL, its table and the shared block as a display program maps it.
class Plugin {
 public:
  explicit Plugin(const std::string& dll) : host_(dll) {
    if (!host_.loaded() || host_.create() == nullptr) return;
    host_.call<void>(wine::kStartup, int32_t{0});
    block_ = std::make_unique<wine::BlockView>(KORVANEL_SHARED_BLOCK_NAME);
    telemetry_ = host_.getter<unsigned char>("GetTelemetryInfoV2");
    scoring_ = host_.getter<unsigned char>("GetScoringInfoV2");
    state_ = host_.getter<unsigned char>("GetQuorvexState");
    timeTable_ = host_.getter<unsigned char>("GetTimeTable");
    sectorTimes_ = host_.getter<unsigned char>("GetABSOLUTESectorTimes");
  }
  ~Plugin() {
    if (host_.handle() == nullptr) return;
    host_.call<void>(wine::kShutdown);
    host_.destroyThroughExport();
  }

  bool ready() const { return block_ && block_->open() && scoring_ != nullptr; }

  // A new session in realtime, with the display's class row and KERS timer.
  void startSession() {
    host_.call<void>(wine::kEndSession);
    host_.call<void>(wine::kStartSession);
    host_.call<void>(wine::kEnterRealtime);
    KorvanelHostState* state = blockState();
    state->selectedClassRow = kBenchClassRow;
    state->kersTimerOn = 1;
    state->kersRunning = 1;
  }

  void scoring(const HostScoring* record) {
    host_.call<void>(wine::kUpdateScoring, static_cast<const void*>(record));
  }
  void telemetry(const HostTelemetry* record) {
    host_.call<void>(wine::kUpdateTelemetry, static_cast<const void*>(record));
  }

  // What each update publishes, from the in-process copies into the block.
  void copyTelemetryBytes(CopyFn copy) const {
    unsigned char* b = block_->bytes();
    copy(b + KORVANEL_OFFSET_TELEMETRY, telemetry_, sizeof(KorvanelTelemetryInfoV2));
    copy(b + KORVANEL_OFFSET_SCORING, scoring_, sizeof(KorvanelScoringInfoV2));
    copy(b + KORVANEL_OFFSET_STATE, state_, sizeof(KorvanelHostState));
  }
  void copyScoringBytes(CopyFn copy) const {
    unsigned char* b = block_->bytes();
    copy(b + KORVANEL_OFFSET_SCORING, scoring_, sizeof(KorvanelScoringInfoV2));
    copy(b + KORVANEL_OFFSET_STATE, state_, sizeof(KorvanelHostState));
    copy(b + KORVANEL_OFFSET_TIME_TABLE, timeTable_, sizeof(KorvanelTimeTable));
    copy(b + KORVANEL_OFFSET_SECTOR_TIMES, sectorTimes_, sizeof(KorvanelAbsoluteSectorTimes));
  }

 private:
  KorvanelHostState* blockState() const {
    return reinterpret_cast<KorvanelHostState*>(block_->bytes() + KORVANEL_OFFSET_STATE);
  }

  DllHost host_;
  std::unique_ptr<wine::BlockView> block_;
  unsigned char* telemetry_ = nullptr;
  unsigned char* scoring_ = nullptr;
  unsigned char* state_ = nullptr;
  unsigned char* timeTable_ = nullptr;
  unsigned char* sectorTimes_ = nullptr;
};

// The calls of one repetition of a case, each timed on its own.
struct Sample {
  std::vector<double> update;   // seconds in each update call
  std::vector<double> runtime;  // in the runtime's copy after it
  std::vector<double> own;      // in the own copy after that
};

// The median: a call that the system interrupted, or that another program
// on the machine slowed, moves it less than it moves a mean.
double median(std::vector<double> v) {
  if (v.empty()) return -1.0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// One call timed, then each reference once, back to back.
template <typename Update, typename Reference>
void timeCall(Sample& s, Update update, Reference reference) {
  double t0 = counterSeconds();
  update();
  double t1 = counterSeconds();
  reference(&runtimeCopy);
  double t2 = counterSeconds();
  reference(&ownCopy);
  double t3 = counterSeconds();
  s.update.push_back(t1 - t0);
  s.runtime.push_back(t2 - t1);
  s.own.push_back(t3 - t2);
}

constexpr double kTelemetryStep = 1.0 / 90.0;  // the host's telemetry rate
constexpr double kScoringStep = 0.5;           // and its scoring rate
constexpr int kTelemetryPerScoring = 20;

RaceOptions raceOptions(int cars, uint64_t seed) {
  RaceOptions options;
  options.cars = cars;
  options.seed = seed;
  return options;
}

// Telemetry updates of a race in which every car moves; a scoring update
// (not counted) every 20 of them, as the host sends. The first telemetry
// update after it goes to `first`, the others to `steady`.
void telemetryCase(Plugin& plugin, int cars, int calls, uint64_t seed, Sample& steady,
                   Sample* first) {
  RaceGenerator race(raceOptions(cars, seed));
  plugin.startSession();
  auto reference = [&](CopyFn copy) { plugin.copyTelemetryBytes(copy); };
  for (int i = -2 * kTelemetryPerScoring; i < calls; ++i) {
    race.advance(kTelemetryStep);
    bool afterScoring = false;
    if ((i + 2 * kTelemetryPerScoring) % kTelemetryPerScoring == 0) {
      plugin.scoring(race.scoring());
      afterScoring = true;
    }
    const HostTelemetry* record = race.telemetry(kTelemetryStep);
    if (i < 0) {
      plugin.telemetry(record);
      continue;
    }
    Sample* into = afterScoring ? first : &steady;
    if (into == nullptr) {
      plugin.telemetry(record);
      continue;
    }
    timeCall(
        *into, [&] { plugin.telemetry(record); }, reference);
  }
}

// Scoring updates half a second apart, each after a telemetry update (not
// counted), from a new session and race that warms up for 20 updates.
void scoringCase(Plugin& plugin, int cars, int calls, uint64_t seed, Sample& s) {
  RaceGenerator race(raceOptions(cars, seed));
  plugin.startSession();
  auto reference = [&](CopyFn copy) { plugin.copyScoringBytes(copy); };
  for (int i = -20; i < calls; ++i) {
    race.advance(kScoringStep);
    plugin.telemetry(race.telemetry(kScoringStep));
    const HostScoring* record = race.scoring();
    if (i < 0) {
      plugin.scoring(record);
      continue;
    }
    timeCall(
        s, [&] { plugin.scoring(record); }, reference);
  }
}

struct Case {
  const char* label;
  bool scoring;
  int cars;
  bool firstAfterScoring;  // the row of the first telemetry update after scoring
  std::vector<Sample> samples;
};

struct Figures {
  double update = -1;
  double reference = -1;  // the faster copy
  double runtime = -1;
  double own = -1;
  double ratioLow = -1;  // range of the per-repetition ratios
  double ratioHigh = -1;
};

// The median call of each column over all repetitions, and the range of
// the ratios of the repetitions' medians.
Figures figuresOf(const Case& c) {
  Figures f;
  Sample all;
  for (const Sample& s : c.samples) {
    if (s.update.empty()) continue;
    all.update.insert(all.update.end(), s.update.begin(), s.update.end());
    all.runtime.insert(all.runtime.end(), s.runtime.begin(), s.runtime.end());
    all.own.insert(all.own.end(), s.own.begin(), s.own.end());
    double ratio = median(s.update) / std::min(median(s.runtime), median(s.own));
    if (f.ratioLow < 0 || ratio < f.ratioLow) f.ratioLow = ratio;
    if (ratio > f.ratioHigh) f.ratioHigh = ratio;
  }
  if (all.update.empty()) return f;
  f.update = median(all.update);
  f.runtime = median(all.runtime);
  f.own = median(all.own);
  f.reference = std::min(f.runtime, f.own);
  return f;
}

// Prints one line with the range column; returns false when a target was
// missed or did not run.
bool printRow(const char* label, double time, double reference, const std::string& range,
              double target, double stretch) {
  return printTableRow(label, time, reference, range.c_str(), target, stretch);
}

std::string rangeText(const Figures& f) {
  if (f.ratioLow < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f-%.2fx", f.ratioLow, f.ratioHigh);
  return text;
}

// The table of one DLL, with the targets; returns false when one is missed.
bool printTable(const std::string& dll, const std::vector<Case>& cases, int repetitions) {
  bool ok = true;
  std::printf("DLL under test: %s\n", dll.c_str());
  std::printf(
      "median time per call over %d repetitions, each call timed with the\n"
      "performance counter next to its references in the same run: the copy of\n"
      "the bytes it publishes through the C runtime's memcpy and through a copy\n"
      "of this program's own; the ratio is to the faster of the two (range: the\n"
      "ratios of the single repetitions)\n",
      repetitions);
  std::printf(
      "  telemetry: 1912 + 125568 + 56 bytes; scoring: 125568 + 56 + 24060 + 220 "
      "bytes\n\n");
  std::printf("%-34s %12s %12s %8s %13s %9s  %s\n", "case", "time/call", "reference", "ratio",
              "range", "target", "result");
  Figures f[7];
  for (int k = 0; k < 7; ++k) f[k] = figuresOf(cases[k]);
  ok &= printRow(cases[0].label, f[0].update, f[0].reference, rangeText(f[0]), 0, 0);
  ok &= printRow(cases[1].label, f[1].update, f[1].reference, rangeText(f[1]), 0, 0);
  ok &= printRow(cases[2].label, f[2].update, f[2].reference, rangeText(f[2]), 1.3, 1.15);
  ok &= printRow(cases[3].label, f[3].update, f[3].reference, rangeText(f[3]), 0, 0);
  ok &= printRow(cases[4].label, f[4].update, f[4].reference, rangeText(f[4]), 0, 0);
  ok &= printRow(cases[5].label, f[5].update, f[5].reference, rangeText(f[5]), 0, 0);
  ok &= printRow(cases[6].label, f[6].update, f[6].reference, rangeText(f[6]), 6.0, 4.0);
  ok &= printRow("scoring update, 150 vs 20 cars", f[6].update, f[4].update, "-", 3.0, 0);
  std::printf("\nreferences apart: runtime memcpy / own copy\n");
  std::printf("  telemetry bytes %s / %s, scoring bytes %s / %s\n",
              formatTime(f[2].runtime).c_str(), formatTime(f[2].own).c_str(),
              formatTime(f[6].runtime).c_str(), formatTime(f[6].own).c_str());
  std::printf("\n%s\n", ok ? "all targets met" : "TARGETS MISSED");
  return ok;
}

// Two DLLs side by side on the same race: two generators of one seed in
// lockstep, and each call timed on both back to back, the order changing
// with every call, so a change of the machine's pace between calls hits
// both alike. The ratio is the median of the per-call ratios.
struct Paired {
  std::vector<double> first, second, ratio;
};

// `prepare` (untimed) then `call` (timed) for each DLL, so that each timed
// call follows its own DLL's preparation and finds the caches as the host
// would leave them.
template <typename Prepare, typename Call>
void timePair(Paired& into, int step, Prepare prepare, Call call) {
  double t[2];
  for (int turn = 0; turn < 2; ++turn) {
    int which = (turn + step) % 2;
    prepare(which);
    double t0 = counterSeconds();
    call(which);
    t[which] = counterSeconds() - t0;
  }
  into.first.push_back(t[0]);
  into.second.push_back(t[1]);
  into.ratio.push_back(t[1] / t[0]);
}

void scoringPair(Plugin* plugin[2], int cars, int calls, uint64_t seed, Paired& into) {
  RaceGenerator race[2] = {RaceGenerator(raceOptions(cars, seed)),
                           RaceGenerator(raceOptions(cars, seed))};
  for (int p = 0; p < 2; ++p) plugin[p]->startSession();
  const HostScoring* record[2];
  auto prepare = [&](int p) {
    race[p].advance(kScoringStep);
    plugin[p]->telemetry(race[p].telemetry(kScoringStep));
    record[p] = race[p].scoring();
  };
  auto call = [&](int p) { plugin[p]->scoring(record[p]); };
  for (int i = -20; i < calls; ++i) {
    if (i >= 0) {
      timePair(into, i, prepare, call);
      continue;
    }
    for (int p = 0; p < 2; ++p) {
      prepare(p);
      call(p);
    }
  }
}

void telemetryPair(Plugin* plugin[2], int cars, int calls, uint64_t seed, Paired& into) {
  RaceGenerator race[2] = {RaceGenerator(raceOptions(cars, seed)),
                           RaceGenerator(raceOptions(cars, seed))};
  for (int p = 0; p < 2; ++p) plugin[p]->startSession();
  const HostTelemetry* record[2];
  bool afterScoring = false;
  auto prepare = [&](int p) {
    race[p].advance(kTelemetryStep);
    if (afterScoring) plugin[p]->scoring(race[p].scoring());
    record[p] = race[p].telemetry(kTelemetryStep);
  };
  auto call = [&](int p) { plugin[p]->telemetry(record[p]); };
  for (int i = -2 * kTelemetryPerScoring; i < calls; ++i) {
    afterScoring = (i + 2 * kTelemetryPerScoring) % kTelemetryPerScoring == 0;
    if (i >= 0 && !afterScoring) {
      timePair(into, i, prepare, call);
      continue;
    }
    for (int p = 0; p < 2; ++p) {
      prepare(p);
      call(p);
    }
  }
}

// The cases with targets, on both DLLs.
void printComparison(const std::string& first, const std::string& second, Plugin* plugin[2],
                     int repetitions, int telemetryCalls, int scoringCalls) {
  Paired telemetry, scoring;
  for (int r = 0; r < repetitions; ++r) {
    telemetryPair(plugin, 150, telemetryCalls, 11 + r, telemetry);
    scoringPair(plugin, 150, scoringCalls, 11 + r, scoring);
  }
  std::printf("first:  %s\nsecond: %s\n", first.c_str(), second.c_str());
  std::printf("median time per call over %d repetitions, each call on both back to back\n\n",
              repetitions);
  std::printf("%-34s %12s %12s %16s\n", "case", "first", "second", "second/first");
  auto row = [](const char* label, const Paired& p) {
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.3f", median(p.ratio));
    std::printf("%-34s %12s %12s %16s\n", label, formatTime(median(p.first)).c_str(),
                formatTime(median(p.second)).c_str(), ratio);
  };
  row("telemetry update, 150 cars", telemetry);
  row("scoring update, 150 cars", scoring);
}

}  // namespace
}  // namespace korvanel::bench

int main(int argc, char** argv) {
  using namespace korvanel::bench;
  std::string dll = korvanel::wine::dllPath();
  int repetitions = 9;
  int telemetryCalls = 1000;
  int scoringCalls = 120;
  std::string only;
  std::string against;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--dll=", 6) == 0) {
      dll = korvanel::wine::windowsPath(argv[i] + 6);
    } else if (std::strncmp(argv[i], "--repetitions=", 14) == 0) {
      repetitions = std::max(1, std::atoi(argv[i] + 14));
    } else if (std::strncmp(argv[i], "--only=", 7) == 0) {
      only = argv[i] + 7;
    } else if (std::strncmp(argv[i], "--against=", 10) == 0) {
      against = korvanel::wine::windowsPath(argv[i] + 10);
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      repetitions = 3;
      telemetryCalls = 200;
      scoringCalls = 30;
    } else {
      std::fprintf(stderr,
                   "usage: korvanel_dll_bench [--dll=PATH] [--repetitions=N] [--quick] "
                   "[--only=TEXT] [--against=PATH]\n");
      return 2;
    }
  }

  // A block and a state section of this run's own, in a folder of its own
  // holding the benchmark's configuration.
  std::string suffix;
  if (const char* given = std::getenv(KORVANEL_NAME_SUFFIX_VARIABLE)) suffix = given;
  suffix += ".dllbench" + std::to_string(GetCurrentProcessId());
  SetEnvironmentVariableA(KORVANEL_NAME_SUFFIX_VARIABLE, suffix.c_str());
  _putenv((std::string(KORVANEL_NAME_SUFFIX_VARIABLE) + "=" + suffix).c_str());
  namespace fs = std::filesystem;
  fs::path previous = fs::current_path();
  fs::path folder = fs::temp_directory_path() / ("korvanel-dll-bench" + suffix);
  fs::create_directories(folder / "Plugins" / "KORVANEL");
  std::ofstream(folder / "Plugins" / "KORVANEL" / "korvanelconf.txt") << kBenchConfig;
  fs::current_path(folder);

  bool ok = true;
  {
    // Each DLL with a block of its own: a second plugin would otherwise
    // open the first one's block and state section.
    auto load = [&](const std::string& path, const char* tag) {
      std::string own = suffix + tag;
      SetEnvironmentVariableA(KORVANEL_NAME_SUFFIX_VARIABLE, own.c_str());
      _putenv((std::string(KORVANEL_NAME_SUFFIX_VARIABLE) + "=" + own).c_str());
      auto plugin = std::make_unique<Plugin>(path);
      if (!plugin->ready()) {
        std::fprintf(stderr, "cannot load and start %s\n", path.c_str());
        plugin.reset();
      }
      return plugin;
    };
    std::unique_ptr<Plugin> plugin = load(dll, "");
    std::unique_ptr<Plugin> other = against.empty() ? nullptr : load(against, ".against");
    if (!plugin || (!against.empty() && !other)) {
      ok = false;
    } else if (other) {
      Plugin* both[2] = {plugin.get(), other.get()};
      printComparison(dll, against, both, repetitions, telemetryCalls, scoringCalls);
    } else {
      std::vector<Case> cases = {
          {"telemetry update, 20 cars", false, 20, false, {}},
          {"telemetry update, 100 cars", false, 100, false, {}},
          {"telemetry update, 150 cars", false, 150, false, {}},
          {"telemetry, first after scoring", false, 150, true, {}},
          {"scoring update, 20 cars", true, 20, false, {}},
          {"scoring update, 60 cars", true, 60, false, {}},
          {"scoring update, 150 cars", true, 150, false, {}},
      };
      for (Case& c : cases) c.samples.resize(repetitions);
      // Repetitions outside, cases inside: a burst of other work on the
      // machine hits every case alike.
      for (int r = 0; r < repetitions; ++r) {
        uint64_t seed = 11 + r;
        for (size_t k = 0; k < cases.size(); ++k) {
          Case& c = cases[k];
          if (c.firstAfterScoring) continue;  // filled by the 150-car telemetry case
          if (!only.empty() && std::string(c.label).find(only) == std::string::npos) continue;
          if (c.scoring) {
            scoringCase(*plugin, c.cars, scoringCalls, seed, c.samples[r]);
          } else {
            bool withFirst = c.cars == 150;
            telemetryCase(*plugin, c.cars, telemetryCalls, seed, c.samples[r],
                          withFirst ? &cases[k + 1].samples[r] : nullptr);
          }
        }
      }
      ok = printTable(dll, cases, repetitions);
    }
  }

  std::error_code ec;
  fs::current_path(previous, ec);
  fs::remove_all(folder, ec);
  return ok ? 0 : 1;
}

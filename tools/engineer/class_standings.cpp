// Gaps within a class are summed from the host's per-car intervals along
// the race order, as the plugin sums them for its class row; whole laps
// come from the plugin's lap progress (laps completed plus the fraction).
#include "tools/engineer/class_standings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korvanel::tools::engineer {
namespace {

// Twelve colours that stay apart on dark and light backgrounds.
constexpr const char* kPalette[] = {"#e6194b", "#3cb44b", "#4363d8", "#f58231",
                                    "#911eb4", "#42d4f4", "#f032e6", "#bfef45",
                                    "#fabed4", "#469990", "#dcbeff", "#ffe119"};
constexpr int kColors = sizeof kPalette / sizeof kPalette[0];

size_t boundedLength(const char* text, size_t n) {
  const void* end = std::memchr(text, 0, n);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : n;
}

bool sameClass(const std::string& name, const char (&vehicleClass)[32]) {
  size_t n = boundedLength(vehicleClass, sizeof vehicleClass);
  return name.size() == n && std::memcmp(name.data(), vehicleClass, n) == 0;
}

}  // namespace

int preferredColor(const std::string& name) {
  uint32_t hash = 2166136261u;
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<int>(hash % kColors);
}

// Each class its preferred colour, or the next one free when a class of a
// name earlier in the alphabet took it: the same set of classes always gets
// the same colours, and up to kColors classes never share one.
void giveColors(std::vector<ClassSummary>& classes, size_t count) {
  int order[KORVANEL_MAX_VEHICLES];
  for (size_t c = 0; c < count; ++c) order[c] = static_cast<int>(c);
  std::sort(order, order + count, [&](int a, int b) { return classes[a].name < classes[b].name; });
  bool taken[kColors] = {};
  for (size_t k = 0; k < count; ++k) {
    ClassSummary& s = classes[static_cast<size_t>(order[k])];
    int color = preferredColor(s.name);
    for (int probe = 0; probe < kColors; ++probe) {
      int candidate = (color + probe) % kColors;
      if (!taken[candidate]) {
        color = candidate;
        break;
      }
    }
    taken[color] = true;
    s.color = kPalette[color];
  }
}

void workOutClasses(const KorvanelScoringInfoV2& scoring, int count, const double* bestLap,
                    std::vector<ClassSummary>& classes, std::vector<ClassStanding>& standings) {
  // Classes appear in the order of their best-placed car: race order.
  size_t classCount = 0;
  standings.resize(static_cast<size_t>(count));
  // Per class: the index of its last car met so far, for the gap to the car ahead.
  int lastOfClass[KORVANEL_MAX_VEHICLES];
  double sinceLeader[KORVANEL_MAX_VEHICLES];  // per class, summed intervals since its leader
  double sinceLast[KORVANEL_MAX_VEHICLES];    // per class, since its last car
  int classOf[KORVANEL_MAX_VEHICLES];
  for (int i = 0; i < count; ++i) {
    const KorvanelVehicleInfoV2& e = scoring.vehicles[i];
    const KorvanelHostVehicle& v = e.host;
    double interval = i > 0 && std::isfinite(v.timeBehindNext) ? v.timeBehindNext : 0.0;
    for (size_t c = 0; c < classCount; ++c) {
      sinceLeader[c] += interval;
      sinceLast[c] += interval;
    }
    size_t c = 0;
    while (c < classCount && !sameClass(classes[c].name, v.vehicleClass)) ++c;
    if (c == classCount) {
      if (classes.size() <= c) classes.emplace_back();
      ClassSummary& s = classes[c];
      s.name.assign(v.vehicleClass, boundedLength(v.vehicleClass, sizeof v.vehicleClass));
      s.carCount = 0;
      s.leaderIndex = i;
      s.bestLap = -1.0;
      s.bestLapDriver.clear();
      lastOfClass[c] = -1;
      sinceLeader[c] = sinceLast[c] = 0.0;
      ++classCount;
    }
    ClassSummary& s = classes[c];
    ++s.carCount;
    if (bestLap[i] > 0.0 && (s.bestLap < 0.0 || bestLap[i] < s.bestLap)) {
      s.bestLap = bestLap[i];
      s.bestLapDriver.assign(v.driverName, boundedLength(v.driverName, sizeof v.driverName));
    }
    ClassStanding& out = standings[static_cast<size_t>(i)];
    out.index = i;
    out.driverName.assign(v.driverName, boundedLength(v.driverName, sizeof v.driverName));
    out.vehicleClass = s.name;
    out.classPlace = s.carCount;
    const KorvanelVehicleInfoV2& leader = scoring.vehicles[s.leaderIndex];
    auto wholeLaps = [&](const KorvanelVehicleInfoV2& ahead) {
      double d = static_cast<double>(ahead.lapProgress) - e.lapProgress;
      return d >= 1.0 && std::isfinite(d) ? static_cast<int>(std::floor(d)) : 0;
    };
    out.gapToClassLeader = sinceLeader[c];
    out.lapsToClassLeader = wholeLaps(leader);
    if (lastOfClass[c] >= 0) {
      out.gapToClassAhead = sinceLast[c];
      out.lapsToClassAhead = wholeLaps(scoring.vehicles[lastOfClass[c]]);
    } else {
      out.gapToClassAhead = 0.0;
      out.lapsToClassAhead = 0;
    }
    lastOfClass[c] = i;
    sinceLast[c] = 0.0;
    classOf[i] = static_cast<int>(c);
  }
  classes.resize(classCount);
  giveColors(classes, classCount);
  for (int i = 0; i < count; ++i)
    standings[static_cast<size_t>(i)].classCount = classes[classOf[i]].carCount;
}

}  // namespace korvanel::tools::engineer

// One row of the benchmark tables, shared by the native program and the
// DLL's: a case's time per call against its reference copy, the ratio and
// the verdict on its target.
#pragma once

#include <cstdio>
#include <string>

namespace korvanel::bench {

// "12.34 us", or "1.23 ms" from a millisecond on; "-" for a negative time,
// which stands for a case that did not run.
inline std::string formatTime(double seconds) {
  char text[32];
  if (seconds < 0.0) return "-";
  if (seconds < 1e-3) {
    std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  }
  return text;
}

// What a row says when a case with a target did not run.
enum class NotRun { kFails, kIsCounted };

// Prints "label time reference ratio [range] target result". `range` null
// leaves its column out; `target` 0 means none (the row is "info"),
// `stretch` 0 no stretch target. Returns false when the ratio misses the
// target, and for a target whose case did not run when `notRun` is
// kFails; with kIsCounted such a row adds one to `*notRunCount` instead.
inline bool printTableRow(const char* label, double time, double reference, const char* range,
                          double target, double stretch, NotRun notRun = NotRun::kFails,
                          int* notRunCount = nullptr) {
  std::string ratio = "-", targetText = "-", result = "info";
  bool ok = true;
  if (time >= 0.0 && reference > 0.0) {
    char text[32];
    double r = time / reference;
    std::snprintf(text, sizeof text, "%.2fx", r);
    ratio = text;
    if (target > 0.0) {
      std::snprintf(text, sizeof text, "<= %.2gx", target);
      targetText = text;
      ok = r <= target;
      result = !ok ? "FAIL" : (stretch > 0.0 && r <= stretch ? "pass (stretch)" : "pass");
    }
  } else if (target > 0.0) {
    if (notRun == NotRun::kFails) {
      result = "FAIL (not run)";
      ok = false;
    } else {
      result = "not run";
      if (notRunCount != nullptr) ++*notRunCount;
    }
  }
  std::printf("%-34s %12s %12s %8s", label, formatTime(time).c_str(), formatTime(reference).c_str(),
              ratio.c_str());
  if (range != nullptr) std::printf(" %13s", range);
  std::printf(" %9s  %s\n", targetText.c_str(), result.c_str());
  return ok;
}

}  // namespace korvanel::bench

// Parts of the platform interface that need no system call: the test hooks
// and the object-name suffix.
#include "platform/platform_common.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvanel::platform {
namespace {

std::atomic<TickSource> gTickSource{nullptr};
char gSuffix[64];
std::atomic<bool> gSuffixSet{false};
std::atomic<int> gFailStage{0};
std::atomic<int32_t> gFailCode{0};
std::atomic<int> gFailFileStep{0};
// Written and taken on the thread that creates the block.
char gFallbackReason[512];
bool gFallbackNoted = false;

}  // namespace

uint32_t tickCount() {
  TickSource source = gTickSource.load(std::memory_order_relaxed);
  return source ? source() : systemTickCount();
}

void setTickSourceForTesting(TickSource source) { gTickSource.store(source); }

void setNameSuffix(const char* suffix) {
  std::snprintf(gSuffix, sizeof gSuffix, "%s", suffix ? suffix : "");
  gSuffixSet.store(true);
}

const char* effectiveObjectName(const char* name, char* out, size_t outSize) {
  const char* suffix = gSuffix;
  if (!gSuffixSet.load()) {
    const char* env = std::getenv("KORVANEL_NAME_SUFFIX");
    suffix = env ? env : "";
  }
  std::snprintf(out, outSize, "%s%s", name, suffix);
  return out;
}

void failNextSharedBlockForTesting(MapResult stage, int32_t errorCode) {
  gFailCode.store(errorCode);
  gFailStage.store(static_cast<int>(stage));
}

bool takeInjectedMapFailure(MapResult& stage, int32_t& errorCode) {
  int s = gFailStage.exchange(0);
  if (s == 0) return false;
  stage = static_cast<MapResult>(s);
  errorCode = gFailCode.load();
  return true;
}

void failFileStepForTesting(int step) { gFailFileStep.store(step); }

bool injectedFileFailure(int step) {
  int expected = step;
  return step != 0 && gFailFileStep.compare_exchange_strong(expected, 0);
}

void noteSharedBlockFallback(const char* reason) {
  std::snprintf(gFallbackReason, sizeof gFallbackReason, "%s", reason);
  gFallbackNoted = true;
}

const char* takeSharedBlockFallbackReason() {
  if (!gFallbackNoted) return nullptr;
  gFallbackNoted = false;
  return gFallbackReason;
}

}  // namespace korvanel::platform

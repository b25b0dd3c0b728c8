// Entry point of every test program: gives the process's named objects a
// name of their own, so test programs running at once never meet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "platform/platform.h"

int main(int argc, char** argv) {
  std::random_device device;
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".test%08x%08x", device(), static_cast<unsigned>(now));
  korvanel::platform::setNameSuffix(suffix);
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  korvanel::platform::unlinkNamedObjects();
  return result;
}

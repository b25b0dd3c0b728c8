// The two update cycles run on the host's thread many times a second and
// must not touch the heap once they are warm. This program replaces the
// global operator new and delete and the C allocation functions with
// counting versions, and counts what the updates of a whole race allocate.
//
// Odometer saves (a reset command from a display, a scoring update while
// the player is not driving, and the save once a minute while driving, whose
// hand-over to its own thread allocates) write a file, which is file input
// and output by design; the race here keeps the player driving for less than
// a minute of ticks and sends no reset command.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/race/race_generator.h"
#include "plugin/render_plugin.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

// ---- Counting allocators ----------------------------------------------------

namespace {

std::atomic<long> gAllocations{0};

}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
  ++gAllocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  ++gAllocations;
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  ++gAllocations;
  return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  ++gAllocations;
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  ++gAllocations;
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  ++gAllocations;
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
void free(void* p) { __libc_free(p); }
}

namespace {

void* countedNew(size_t size) {
  ++gAllocations;
  if (void* p = __libc_malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* countedAlignedNew(size_t size, std::align_val_t alignment) {
  ++gAllocations;
  if (void* p = __libc_memalign(static_cast<size_t>(alignment), size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return countedNew(size); }
void* operator new[](size_t size) { return countedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return __libc_malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return __libc_malloc(size ? size : 1);
}
void* operator new(size_t size, std::align_val_t a) { return countedAlignedNew(size, a); }
void* operator new[](size_t size, std::align_val_t a) { return countedAlignedNew(size, a); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { __libc_free(p); }

// ---- Tests ------------------------------------------------------------------

namespace korvanel {
namespace {

using bench::RaceGenerator;
using bench::RaceOptions;

// Allocations made while `call` runs.
template <typename Call>
long allocationsDuring(Call call) {
  long before = gAllocations.load();
  call();
  return gAllocations.load() - before;
}

TEST(CountingAllocator, SeesEveryKindOfAllocation) {
  // Without this the test below could pass by counting nothing.
  EXPECT_GE(allocationsDuring([] { delete new int(3); }), 1);
  EXPECT_GE(allocationsDuring([] { std::free(std::malloc(40)); }), 1);
  EXPECT_GE(allocationsDuring([] { std::free(std::calloc(4, 10)); }), 1);
  EXPECT_GE(allocationsDuring([] {
              std::string s(100, 'x');
              std::vector<int> v(50);
            }),
            2);
  EXPECT_GE(allocationsDuring([] {
              // Through the C library itself: stdio buffers come from malloc.
              std::FILE* f = std::tmpfile();
              if (f) {
                std::fputs("x", f);
                std::fclose(f);
              }
            }),
            1);
}

class NoAllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.writeFile("Plugins/KORVANEL/korvanelconf.txt",
                     "[GENERAL]\nTeamMembers=Jane Doe; John Smith, $$REALTIME_MODE$$\n"
                     "[HUD]\nGrid_Classes1=GT,GT3,#GT4,@\nGrid_Classes2=Friends,$#SMI,$JANE DOE\n");
    config.load("Plugins\\KORVANEL\\korvanelconf.txt", nullptr);
    PluginConfig::setInstanceForTesting(&config);
    plugin = std::make_unique<RenderPlugin>();
    ASSERT_NE(sharedBlock(), nullptr);
    plugin->startup(0);
    plugin->startSession();
    plugin->enterRealtime();
    SharedBlock& block = *sharedBlock();
    block.state.selectedClassRow = 1;
    block.state.kersTimerOn = 1;
    block.state.kersRunning = 1;
  }
  void TearDown() override {
    plugin.reset();
    PluginConfig::setInstanceForTesting(nullptr);
  }

  testing::ScratchFolder folder;
  testing::FakeClock clock{500000};
  PluginConfig config;
  std::unique_ptr<RenderPlugin> plugin;
};

TEST_F(NoAllocationTest, UpdatesOfAWholeRaceAllocateNothingAfterTheFirst) {
  RaceOptions options;
  options.cars = 150;
  RaceGenerator race(options);

  // The first call of each may set things up (the odometer reads its file).
  plugin->updateTelemetry(race.telemetry(0.1));
  plugin->updateScoring(race.scoring());

  long telemetryAllocations = 0;
  long scoringAllocations = 0;
  for (int step = 0; step < 3000; ++step) {
    if (step == 1500) race.addCar();  // cars joining mid-race take new timing entries
    if (step == 2000) race.swapDriver(7);
    if (step == 2200) sharedBlock()->state.selectedClassRow = 2;
    clock.advance(15);  // 45 s of ticks: short of the save once a minute
    race.advance(0.1);
    const HostTelemetry* telemetry = race.telemetry(0.1);
    telemetryAllocations += allocationsDuring([&] { plugin->updateTelemetry(telemetry); });
    if (step % 5 == 4) {
      const HostScoring* scoring = race.scoring();
      scoringAllocations += allocationsDuring([&] { plugin->updateScoring(scoring); });
    }
  }
  EXPECT_EQ(telemetryAllocations, 0);
  EXPECT_EQ(scoringAllocations, 0);
}

TEST_F(NoAllocationTest, ANewSessionAllocatesNothingInTheUpdates) {
  RaceOptions options;
  options.cars = 60;
  options.seed = 3;
  RaceGenerator race(options);
  plugin->updateTelemetry(race.telemetry(0.1));
  plugin->updateScoring(race.scoring());

  // The lifecycle call may do what it likes; the updates after it may not,
  // beyond the odometer's one load of its file in the first scoring update.
  plugin->endSession();
  plugin->startSession();
  plugin->enterRealtime();
  plugin->updateTelemetry(race.telemetry(0.1));
  plugin->updateScoring(race.scoring());
  long allocations = 0;
  for (int step = 0; step < 500; ++step) {
    clock.advance(100);
    race.advance(0.1);
    const HostTelemetry* telemetry = race.telemetry(0.1);
    allocations += allocationsDuring([&] { plugin->updateTelemetry(telemetry); });
    const HostScoring* scoring = race.scoring();
    allocations += allocationsDuring([&] { plugin->updateScoring(scoring); });
  }
  EXPECT_EQ(allocations, 0);
}

}  // namespace
}  // namespace korvanel

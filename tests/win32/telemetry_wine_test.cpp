// Telemetry handed to the DLL through the host's table, read back as a
// display program reads it (the shared block by name, at the published
// offsets) and as display code in the host's process reads it (the getters,
// from a thread of its own, holding the data lock).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/test_support.h"
#include "tests/win32/dll_host.h"

namespace korvanel::wine {
namespace {

constexpr const char* kBlockName = "$Quorvex2KORVANEL$";

// Offsets in the shared block and the telemetry block.
constexpr size_t kTelemetrySize = 1888;
constexpr size_t kEstimatedLapTime = 1888;
constexpr size_t kLapsOfFuelLeft = 1892;
constexpr size_t kFuelPerLap = 1904;
constexpr size_t kDistancePerFuel = 1908;
constexpr size_t kScoring = 1912;
constexpr size_t kState = 127480;

// Offsets in the host's telemetry record.
constexpr size_t kLapNumber = 20;

// Offsets in the scoring block and its entries.
constexpr size_t kEntries = 2544;
constexpr size_t kEntrySize = 820;
constexpr size_t kEstimatedPosition = 796;

// Offsets in the state record.
constexpr size_t kUpdateCount = 16;
constexpr size_t kVehicleDistance = 24;
constexpr size_t kResetCommand = 40;
constexpr size_t kKersTimerOn = 43;
constexpr size_t kKersRunning = 44;
constexpr size_t kKersRemaining = 48;

size_t entry(int i, size_t field) { return kEntries + kEntrySize * i + field; }

template <typename T>
T read(const void* base, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
  return value;
}

class TelemetryWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.loaded()) << dllPath();
    ASSERT_NE(host_.create(), nullptr);
    host_.call<void>(kStartup, int32_t{0});
    host_.call<void>(kStartSession);
  }
  void TearDown() override {
    if (host_.handle()) host_.destroyThroughExport();
  }

  void send(korvanel::testing::ScoringBuilder& s) {
    host_.call<void>(kUpdateScoring, static_cast<const void*>(s.record()));
  }
  void send(const HostTelemetry& t) {
    host_.call<void>(kUpdateTelemetry, static_cast<const void*>(&t));
  }

  // The player in second place, a car ahead driving along x at 10.
  void scoringWithTwoCars(double playerLapDistance) {
    korvanel::testing::ScoringBuilder s;
    s.header().currentTime = 120.0;
    s.header().phase = 5;
    s.header().lapLength = 4000.0;
    HostVehicle& ahead = s.addVehicle("Ahead", 1);
    ahead.position[0] = 300.0;
    ahead.position[1] = 4.0;
    ahead.localVelocity[0] = 10.0;
    HostVehicle& me = s.addVehicle("Me", 2);
    me.isPlayer = 1;
    me.control = 0;
    me.lapDistance = playerLapDistance;
    send(s);
  }

  korvanel::testing::ScratchFolder folder_;
  DllHost host_;
};

TEST_F(TelemetryWineTest, AnUpdateThroughTheTableReachesTheBlockByName) {
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  unsigned char* state = block.bytes() + kState;
  auto* mine = host_.getter<unsigned char>("GetQuorvexState");

  DWORD scoredAt = GetTickCount();
  scoringWithTwoCars(500.0);

  HostTelemetry t;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&t);
  for (size_t i = 0; i < sizeof t; ++i) bytes[i] = static_cast<unsigned char>(i * 13 + 1);
  std::strcpy(t.vehicleName, "Wine Car");
  t.deltaTime = 0.5;
  t.lapNumber = 1;
  t.lapStartTime = 100.0;
  t.position[0] = 1.5;
  t.position[1] = -2.25;
  t.position[2] = 3.0;
  t.localVelocity[0] = 6.0;
  t.localVelocity[1] = 0.0;
  t.localVelocity[2] = 8.0;  // speed 10: a step of 5
  t.fuelLevel = 50.0;

  state[kKersTimerOn] = 1;
  state[kKersRunning] = 1;
  state[kResetCommand] = 2;
  int32_t countBefore = read<int32_t>(state, kUpdateCount);
  send(t);
  double elapsed = (GetTickCount() - scoredAt) / 1000.0;

  EXPECT_EQ(std::memcmp(block.bytes(), &t, kTelemetrySize), 0);
  float lapTime = block.at<float>(kEstimatedLapTime);
  EXPECT_GE(lapTime, 20.0f);
  EXPECT_LE(lapTime, 20.0 + elapsed + 0.05);
  EXPECT_EQ(read<int32_t>(state, kUpdateCount), countBefore + 1);

  // The reset ran once and is cleared in both copies; the step counts on.
  EXPECT_EQ(state[kResetCommand], 0);
  EXPECT_EQ(mine[kResetCommand], 0);
  EXPECT_EQ(read<double>(state, kVehicleDistance), 5.0);

  // The first update of a freshly loaded library is a lap change: the timer
  // is reloaded after its countdown, then counts down on the same lap.
  EXPECT_FLOAT_EQ(read<float>(state, kKersRemaining), 6.7f);
  send(t);
  EXPECT_FLOAT_EQ(read<float>(state, kKersRemaining), 6.2f);

  const unsigned char* scoring = block.bytes() + kScoring;
  double x = read<double>(scoring, entry(0, kEstimatedPosition));
  EXPECT_GE(x, 300.0);
  EXPECT_LE(x, 300.0 + 10.0 * ((GetTickCount() - scoredAt) / 1000.0 + 0.05));
  EXPECT_EQ(read<double>(scoring, entry(0, kEstimatedPosition + 8)), 4.0);
  EXPECT_EQ(std::memcmp(scoring + entry(1, kEstimatedPosition), t.position, 24), 0);
}

TEST_F(TelemetryWineTest, PaceFiguresReachTheBlockWithTheNextTelemetryUpdate) {
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  auto* mine = host_.getter<unsigned char>("GetTelemetryInfoV2");

  HostTelemetry t = korvanel::testing::makeTelemetry();
  t.fuelLevel = 31.5;
  send(t);
  scoringWithTwoCars(500.0);
  t.fuelLevel = 30.0;
  send(t);
  scoringWithTwoCars(3500.0);

  EXPECT_EQ(read<float>(mine, kDistancePerFuel), 2000.0f);
  EXPECT_EQ(read<float>(mine, kFuelPerLap), 2.0f);
  EXPECT_EQ(read<float>(mine, kLapsOfFuelLeft), 15.0f);
  EXPECT_EQ(block.at<float>(kDistancePerFuel), 0.0f);

  send(t);
  EXPECT_EQ(block.at<float>(kDistancePerFuel), 2000.0f);
  EXPECT_EQ(block.at<float>(kFuelPerLap), 2.0f);
  EXPECT_EQ(block.at<float>(kLapsOfFuelLeft), 15.0f);
}

// Display code in the host's process: enters the lock from its own thread,
// reads through the getters, and leaves.
struct Reader {
  DllHost* host = nullptr;
  DWORD holdMs = 0;
  volatile LONG holding = 0;
  volatile LONG updateDone = 0;
  int32_t lapSeenFirst = 0;
  int32_t lapSeenLast = 0;
  bool ownedAfterUpdate = false;

  static DWORD WINAPI run(void* self) {
    Reader& r = *static_cast<Reader*>(self);
    auto* lock = r.host->getter<CRITICAL_SECTION>("GetCriticalSection");
    auto* telemetry = r.host->getter<unsigned char>("GetTelemetryInfoV2");
    EnterCriticalSection(lock);
    r.lapSeenFirst = read<int32_t>(telemetry, kLapNumber);
    InterlockedExchange(&r.holding, 1);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < r.holdMs) Sleep(5);
    r.lapSeenLast = read<int32_t>(telemetry, kLapNumber);
    // An update that gave up must not have released a lock it never held.
    while (r.holdMs > 500 && InterlockedCompareExchange(&r.updateDone, 0, 0) == 0) Sleep(5);
    r.ownedAfterUpdate = reinterpret_cast<DWORD_PTR>(lock->OwningThread) == GetCurrentThreadId();
    LeaveCriticalSection(lock);
    return 0;
  }
};

TEST_F(TelemetryWineTest, AReaderHoldingTheLockBrieflyDelaysTheUpdate) {
  HostTelemetry t = korvanel::testing::makeTelemetry();
  t.lapNumber = 3;
  send(t);

  Reader reader;
  reader.host = &host_;
  reader.holdMs = 150;
  HANDLE thread = CreateThread(nullptr, 0, &Reader::run, &reader, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  while (InterlockedCompareExchange(&reader.holding, 0, 0) == 0) Sleep(1);

  DWORD start = GetTickCount();
  t.lapNumber = 4;
  send(t);
  DWORD took = GetTickCount() - start;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  // The reader saw one consistent picture; the update came after it.
  EXPECT_EQ(reader.lapSeenFirst, 3);
  EXPECT_EQ(reader.lapSeenLast, 3);
  EXPECT_GE(took, 100u);
  EXPECT_LT(took, 500u);
  EXPECT_EQ(read<int32_t>(host_.getter<unsigned char>("GetTelemetryInfoV2"), kLapNumber), 4);
  BlockView block(kBlockName);
  ASSERT_TRUE(block.open());
  EXPECT_EQ(block.at<int32_t>(kLapNumber), 4);
}

TEST_F(TelemetryWineTest, AReaderHoldingTheLockTooLongKeepsItAndTheUpdateGoesOn) {
  HostTelemetry t = korvanel::testing::makeTelemetry();
  t.lapNumber = 7;
  send(t);

  Reader reader;
  reader.host = &host_;
  reader.holdMs = 900;
  HANDLE thread = CreateThread(nullptr, 0, &Reader::run, &reader, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  while (InterlockedCompareExchange(&reader.holding, 0, 0) == 0) Sleep(1);

  DWORD start = GetTickCount();
  t.lapNumber = 8;
  send(t);
  DWORD took = GetTickCount() - start;
  InterlockedExchange(&reader.updateDone, 1);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  EXPECT_GE(took, 490u);
  EXPECT_LT(took, 850u);
  EXPECT_EQ(reader.lapSeenFirst, 7);
  EXPECT_EQ(reader.lapSeenLast, 8);  // written without the lock, as promised
  EXPECT_TRUE(reader.ownedAfterUpdate);
  auto* lock = host_.getter<CRITICAL_SECTION>("GetCriticalSection");
  ASSERT_TRUE(TryEnterCriticalSection(lock));
  LeaveCriticalSection(lock);
}

struct ClockReader {
  DllHost::TimeFn getTime = nullptr;
  float first = -1.0f;
  float later = -1.0f;

  static DWORD WINAPI run(void* self) {
    ClockReader& r = *static_cast<ClockReader*>(self);
    r.first = r.getTime();
    Sleep(300);
    r.later = r.getTime();
    return 0;
  }
};

TEST_F(TelemetryWineTest, GetTimeFromAnotherThreadCountsFromTheScoringUpdate) {
  scoringWithTwoCars(500.0);
  ClockReader reader;
  reader.getTime = host_.resolve<DllHost::TimeFn>("GetTime");
  HANDLE thread = CreateThread(nullptr, 0, &ClockReader::run, &reader, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(reader.first, 0.0f);
  EXPECT_GE(reader.later, 0.28f);
  EXPECT_LT(reader.later, 0.6f);
}

}  // namespace
}  // namespace korvanel::wine

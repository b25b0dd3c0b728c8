// The platform layer behaves the same on every system: the lock, the tick,
// the named block, the shared section and the file helpers.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/test_support.h"

namespace korvanel::platform {
namespace {

TEST(PlatformLock, TryEnterFailsWhileAnotherThreadHoldsIt) {
  LockStorage lock;
  lockInit(lock);
  std::atomic<int> stage{0};
  std::thread holder([&] {
    lockEnter(lock);
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    lockLeave(lock);
    stage = 3;
  });
  while (stage != 1) std::this_thread::yield();
  EXPECT_FALSE(lockTryEnter(lock));
  stage = 2;
  while (stage != 3) std::this_thread::yield();
  holder.join();
  EXPECT_TRUE(lockTryEnter(lock));
  // The holder may enter again, as a critical section allows.
  EXPECT_TRUE(lockTryEnter(lock));
  lockLeave(lock);
  lockLeave(lock);
}

TEST(PlatformClock, TicksAdvanceInMillisecondsAndCanBeReplaced) {
  uint32_t before = tickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  uint32_t elapsed = tickCount() - before;
  EXPECT_GE(elapsed, 25u);
  EXPECT_LT(elapsed, 5000u);
  {
    testing::FakeClock clock(0xFFFFFFF0u);
    EXPECT_EQ(tickCount(), 0xFFFFFFF0u);
    clock.advance(0x20);
    EXPECT_EQ(tickCount(), 0x10u);
  }
  EXPECT_GE(tickCount() - before, elapsed);
}

TEST(PlatformSharedBlock, SecondMappingSeesTheSameBytesAndContentsSurvive) {
  const char* name = "KorvanelPlatformTest";
  SharedMapping first, second;
  int32_t code = 0;
  ASSERT_EQ(createSharedBlock(name, 4096, first, code), MapResult::kOk) << code;
  std::memcpy(first.view, "hello", 6);
  ASSERT_TRUE(openSharedBlock(name, 4096, second));
  EXPECT_STREQ(static_cast<char*>(second.view), "hello");
  // Creating again opens the existing block and keeps its contents.
  SharedMapping third;
  ASSERT_EQ(createSharedBlock(name, 4096, third, code), MapResult::kOk);
  EXPECT_STREQ(static_cast<char*>(third.view), "hello");
  releaseSharedBlock(third);
  releaseSharedBlock(second);
  releaseSharedBlock(first);
  EXPECT_EQ(first.view, nullptr);
  EXPECT_EQ(first.handle, 0u);
}

TEST(PlatformSharedBlock, OpenWithoutCreatorFailsAndInjectedFailuresReport) {
  SharedMapping mapping;
  EXPECT_FALSE(openSharedBlock("KorvanelNobodyMadeThis", 4096, mapping));
  int32_t code = 0;
  failNextSharedBlockForTesting(MapResult::kMapFailed, 8);
  EXPECT_EQ(createSharedBlock("KorvanelPlatformTest2", 4096, mapping, code),
            MapResult::kMapFailed);
  EXPECT_EQ(code, 8);
  EXPECT_EQ(mapping.view, nullptr);
  // The injection is used up.
  ASSERT_EQ(createSharedBlock("KorvanelPlatformTest2", 4096, mapping, code), MapResult::kOk);
  releaseSharedBlock(mapping);
}

TEST(PlatformSharedSection, FirstCallFillsItAndLaterCallsKeepIt) {
  const unsigned char first[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFF};
  auto* section = static_cast<unsigned char*>(sharedSection(sizeof first, first));
  // Nothing in this program uses the section before this test.
  EXPECT_EQ(std::memcmp(section, first, sizeof first), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(section) % 8, 0u);
  const unsigned char other[12] = {};
  section[0] = 42;
  EXPECT_EQ(sharedSection(sizeof other, other), section);
  EXPECT_EQ(section[0], 42);
  section[0] = first[0];
}

TEST(PlatformFiles, HostPathsFindFoldersWhateverTheirCase) {
  testing::ScratchFolder folder;
  char native[512];
  hostPath("PLUGINS\\KORVANEL\\KM.txt", native, sizeof native);
  std::FILE* f = std::fopen(native, "w");
  ASSERT_NE(f, nullptr) << native;
  std::fclose(f);
  // On Windows the names are the same file anyway; elsewhere the existing
  // "Plugins" folder must have been found.
  EXPECT_TRUE(std::filesystem::exists(folder.pluginFolder() / "KM.txt"));

  char cut[8];
  hostPath("Plugins\\KORVANEL\\KM.txt", cut, sizeof cut);
  EXPECT_EQ(std::strlen(cut), 7u);
}

TEST(PlatformFiles, AtomicWriteReplacesWholeOrLeavesOldFile) {
  testing::ScratchFolder folder;
  std::string path = (folder.path() / "data.txt").string();
  ASSERT_TRUE(writeFileAtomically(path.c_str(), "first", 5));
  EXPECT_EQ(folder.readFile("data.txt"), "first");
  for (int step = 1; step <= 5; ++step) {
    failFileStepForTesting(step);
    EXPECT_FALSE(writeFileAtomically(path.c_str(), "second", 6)) << step;
    EXPECT_EQ(folder.readFile("data.txt"), "first") << step;
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp")) << step;
  }
  failFileStepForTesting(0);
  ASSERT_TRUE(writeFileAtomically(path.c_str(), "second", 6));
  EXPECT_EQ(folder.readFile("data.txt"), "second");
}

}  // namespace
}  // namespace korvanel::platform

// The platform layer behaves the same on every system: the lock, the tick,
// the named block, the shared section and the file helpers.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>

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

// Each run has its own name suffix, so blocks left behind would pile up.
struct TestBlocksRemoved {
  ~TestBlocksRemoved() {
    unlinkSharedBlock("KorvanelPlatformTest");
    unlinkSharedBlock("KorvanelPlatformTest2");
  }
};

TEST(PlatformSharedBlock, SecondMappingSeesTheSameBytesAndContentsSurvive) {
  const char* name = "KorvanelPlatformTest";
  TestBlocksRemoved removed;
  SharedMapping first, second;
  SharedBlockStatus status = createSharedBlock(name, 4096, first);
  ASSERT_TRUE(status.ok()) << status.errorCode;
  std::memcpy(first.view(), "hello", 6);
  // Creating again opens the existing block and keeps its contents.
  ASSERT_TRUE(createSharedBlock(name, 4096, second).ok());
  EXPECT_STREQ(static_cast<char*>(second.view()), "hello");
  std::memcpy(second.view(), "again", 6);
  EXPECT_STREQ(static_cast<char*>(first.view()), "again");
  second.reset();
  EXPECT_EQ(second.view(), nullptr);
  EXPECT_FALSE(second.hasObject());
  // The other mapping keeps the block. The maker lets go last: under Wine
  // its release is the one that removes the file in /dev/shm.
  EXPECT_STREQ(static_cast<char*>(first.view()), "again");
}

// A process that ends without releasing its block, as a test does, after
// unlinkNamedObjects(): nothing of the block stays in /dev/shm. Under Wine
// the file goes with the process's last handle on it, so the block is made
// in a child process that ends without a release.
TEST(PlatformSharedBlock, UnlinkedBlocksLeaveNothingInDevShmWhenTheProcessEnds) {
  // The child runs this test again from the start: the name comes to it
  // through the environment.
  const char* kVariable = "KORVANEL_UNLINK_TEST_SUFFIX";
  if (std::getenv(kVariable) == nullptr) {
    std::string suffix = ".unlink" + std::to_string(std::random_device()());
#ifdef _WIN32
    _putenv_s(kVariable, suffix.c_str());
#else
    setenv(kVariable, suffix.c_str(), 1);
#endif
  }
  setNameSuffix(std::getenv(kVariable));
  const char* kBlock = "$Quorvex2KORVANEL$";
  char name[256];
  effectiveObjectName(kBlock, name, sizeof name);
#ifdef _WIN32
  const std::string folder = "Z:\\dev\\shm\\";
#else
  const std::string folder = "/dev/shm/";
#endif
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no /dev/shm here";
  const std::string path = folder + name;
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        SharedMapping block;
        if (!createSharedBlock(kBlock, 4096, block).ok()) std::_Exit(2);
        if (!std::filesystem::exists(path)) std::_Exit(3);
        unlinkNamedObjects();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PlatformSharedBlock, InjectedFailuresReport) {
  TestBlocksRemoved removed;
  SharedMapping mapping;
  failNextSharedBlockForTesting(MapResult::kMapFailed, 8);
  SharedBlockStatus status = createSharedBlock("KorvanelPlatformTest2", 4096, mapping);
  EXPECT_EQ(status.result, MapResult::kMapFailed);
  EXPECT_EQ(status.errorCode, 8);
  EXPECT_EQ(mapping.view(), nullptr);
  // The injection is used up.
  ASSERT_TRUE(createSharedBlock("KorvanelPlatformTest2", 4096, mapping).ok());
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
  ASSERT_TRUE(writeFileAtomically(path.c_str(), "first", 5).ok());
  EXPECT_EQ(folder.readFile("data.txt"), "first");
  for (int step = 1; step <= 5; ++step) {
    failFileStepForTesting(step);
    Status status = writeFileAtomically(path.c_str(), "second", 6);
    EXPECT_FALSE(status.ok()) << step;
    EXPECT_NE(status.errorCode(), 0) << step;
    EXPECT_EQ(folder.readFile("data.txt"), "first") << step;
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp")) << step;
  }
  failFileStepForTesting(0);
  ASSERT_TRUE(writeFileAtomically(path.c_str(), "second", 6).ok());
  EXPECT_EQ(folder.readFile("data.txt"), "second");
}

TEST(PlatformFiles, FileLockMovesAndIsLetGoExactlyOnce) {
  testing::ScratchFolder folder;
  std::string path = (folder.path() / "data.txt").string();
  FileLock again;
  {
    FileLock first;
    ASSERT_TRUE(takeFileLock(path.c_str(), 0, first).ok());
    FileLock moved(std::move(first));
    EXPECT_FALSE(first.valid());
    // Still held after the move: a second taker is refused.
    Status refused = takeFileLock(path.c_str(), 0, again);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.errorCode(), 0);
    moved.reset();
    // Taken anew, likely through the very handle value just let go of: a
    // moved-from owner that still held it would drop this lock as it ends.
    ASSERT_TRUE(takeFileLock(path.c_str(), 0, again).ok());
  }
  FileLock third;
  EXPECT_FALSE(takeFileLock(path.c_str(), 0, third).ok());
  again.reset();
  EXPECT_TRUE(takeFileLock(path.c_str(), 0, third).ok());
}

}  // namespace
}  // namespace korvanel::platform

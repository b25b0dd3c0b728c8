// Readers against what another program or user can put under the block's
// name: a FIFO, a link, another user's object, a stub, and a block that
// shrinks or is replaced while it is mapped. Each must be refused or
// survived with a reason, never hang or kill the reader.
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "korvanel/reader.h"
#include "tools/platform/tool_platform.h"
#include "tools/reader/block_source.h"

namespace {

using namespace korvanel::tools;

// Gives the test its own block name through the variable every reader
// honours, and removes whatever the test left under it.
class HostileBlock : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    suffix_ = ".hostile" + std::to_string(getpid()) + "x" + std::to_string(++counter);
    setenv(KORVANEL_NAME_SUFFIX_VARIABLE, suffix_.c_str(), 1);
    char name[256];
    path_ = std::string("/dev/shm/") + korvanel_block_name(nullptr, name, sizeof name);
  }
  void TearDown() override {
    unlink(path_.c_str());
    unsetenv(KORVANEL_NAME_SUFFIX_VARIABLE);
  }

  // A block as the plugin leaves it: full size, stamped, `marker` as its
  // update count.
  void makeBlock(int marker, off_t size = KORVANEL_SHARED_BLOCK_SIZE) {
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << path_;
    ASSERT_EQ(0, ftruncate(fd, size));
    if (size >= static_cast<off_t>(KORVANEL_SHARED_BLOCK_SIZE)) {
      uint32_t stamp = KORVANEL_LAYOUT_STAMP;
      int32_t count = marker;
      ASSERT_EQ(4, pwrite(fd, &stamp, 4, KORVANEL_OFFSET_LAYOUT_STAMP));
      ASSERT_EQ(4, pwrite(fd, &count, 4,
                          offsetof(KorvanelSharedBlock, state) +
                              offsetof(KorvanelHostState, updateCount)));
    }
    close(fd);
  }

  void shrinkBlock() { ASSERT_EQ(0, truncate(path_.c_str(), 4096)); }

  // korvanel_open in a child process, which is killed if it has not
  // answered within five seconds: an open that blocks must not block the test.
  int openInChild(int writable) {
    pid_t child = fork();
    if (child == 0) {
      KorvanelReader reader;
      _exit(korvanel_open(&reader, nullptr, writable));
    }
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (waitpid(child, &status, WNOHANG) == child) return WEXITSTATUS(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
  }

  std::string suffix_;
  std::string path_;
};

TEST_F(HostileBlock, RefusesWhatThePluginNeverMakesAndSaysWhy) {
  ASSERT_EQ(0, mkfifo(path_.c_str(), 0600));
  EXPECT_EQ(KORVANEL_OPEN_NOT_A_FILE, openInChild(0)) << "-1: the open of a FIFO hung";
  EXPECT_EQ(KORVANEL_OPEN_NOT_A_FILE, openInChild(1));
  unlink(path_.c_str());

  ASSERT_EQ(0, symlink("/dev/zero", path_.c_str()));
  EXPECT_EQ(KORVANEL_OPEN_NOT_A_FILE, openInChild(0));
  unlink(path_.c_str());

  // A stub of the name is not "no plugin".
  makeBlock(0, 4096);
  EXPECT_EQ(KORVANEL_OPEN_TOO_SMALL, openInChild(0));
  auto source = makeSharedBlockSource();
  EXPECT_EQ(OpenResult::kTooSmall, source->open());
  EXPECT_NE(nullptr, std::strstr(openProblem(OpenResult::kTooSmall), "smaller than the block"));
  unlink(path_.c_str());

  // Another user's block with believable contents. Only root can give a
  // file away; as anyone else the owner case cannot be made here.
  makeBlock(7);
  if (geteuid() != 0) GTEST_SKIP() << "giving the block to another user needs root";
  ASSERT_EQ(0, chown(path_.c_str(), 65534, 65534));
  ASSERT_EQ(0, chmod(path_.c_str(), 0666));
  EXPECT_EQ(KORVANEL_OPEN_OTHER_OWNER, openInChild(0));
  EXPECT_EQ(OpenResult::kOtherOwner, source->open());
  EXPECT_FALSE(source->isOpen()) << "a refused block was left open for commands";
  EXPECT_NE(nullptr, std::strstr(korvanel_open_problem(KORVANEL_OPEN_OTHER_OWNER), "another user"));
}

TEST_F(HostileBlock, ReaderKitSurvivesABlockThatShrinksOrIsReplaced) {
  makeBlock(1);
  KorvanelReader reader;
  ASSERT_EQ(KORVANEL_OPEN_OK, korvanel_open(&reader, nullptr, 1));
  auto copy = std::make_unique<KorvanelSharedBlock>();
  EXPECT_EQ(1, korvanel_copy_block(&reader, copy.get(), 1));
  EXPECT_EQ(KORVANEL_BLOCK_INTACT, korvanel_check(&reader));

  shrinkBlock();
  // Reading the view's pages now would be a SIGBUS.
  EXPECT_EQ(0, korvanel_copy_block(&reader, copy.get(), KORVANEL_COPY_TRIES));
  EXPECT_EQ(0, korvanel_write_command(&reader, KORVANEL_COMMAND_CLASS_ROW, 2));
  EXPECT_EQ(KORVANEL_BLOCK_SHRUNK, korvanel_check(&reader));

  ASSERT_EQ(0, truncate(path_.c_str(), KORVANEL_SHARED_BLOCK_SIZE));
  EXPECT_EQ(KORVANEL_BLOCK_INTACT, korvanel_check(&reader));
  unlink(path_.c_str());
  EXPECT_EQ(KORVANEL_BLOCK_REPLACED, korvanel_check(&reader));
  makeBlock(2);
  EXPECT_EQ(KORVANEL_BLOCK_REPLACED, korvanel_check(&reader));
  korvanel_close(&reader);
}

TEST_F(HostileBlock, ToolsReopenABlockLostUnderThem) {
  makeBlock(1);
  auto source = makeSharedBlockSource();
  ASSERT_EQ(OpenResult::kOpen, source->open());
  auto copy = std::make_unique<KorvanelSharedBlock>();
  CopyResult first = source->copy(*copy);
  EXPECT_TRUE(first.whole);
  EXPECT_FALSE(first.lost);

  // Replaced by a new plugin's block: the next copy comes from that one.
  unlink(path_.c_str());
  makeBlock(2);
  CopyResult second = source->copy(*copy);
  EXPECT_TRUE(second.lost);
  EXPECT_TRUE(second.whole);
  EXPECT_TRUE(source->isOpen());
  EXPECT_EQ(2, copy->state.updateCount);

  // Shrunk and still short: closed, with nothing to reopen.
  shrinkBlock();
  CopyResult third = source->copy(*copy);
  EXPECT_TRUE(third.lost);
  EXPECT_FALSE(third.whole);
  EXPECT_FALSE(source->isOpen());
}

// The kit checks the size before each copy; a shrink during the copy itself
// is what the tools' guard catches.
TEST_F(HostileBlock, GuardTurnsAReadPastTheFileEndIntoAnAnswer) {
  makeBlock(1);
  int fd = open(path_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  void* view = mmap(nullptr, KORVANEL_SHARED_BLOCK_SIZE, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  ASSERT_NE(MAP_FAILED, view);
  shrinkBlock();
  struct Read {
    const unsigned char* from;
    unsigned char out[64];
  } read{static_cast<const unsigned char*>(view) + 100000, {}};
  auto copyOut = [](void* context) {
    auto* r = static_cast<Read*>(context);
    std::memcpy(r->out, r->from, sizeof r->out);
  };
  EXPECT_FALSE(runGuardingMappedReads(copyOut, &read));
  // Twice: the first fault left the signal usable.
  EXPECT_FALSE(runGuardingMappedReads(copyOut, &read));
  read.from = static_cast<const unsigned char*>(view);
  EXPECT_TRUE(runGuardingMappedReads(copyOut, &read));
  munmap(view, KORVANEL_SHARED_BLOCK_SIZE);
}

}  // namespace
#endif

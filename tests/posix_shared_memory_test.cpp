// The plugin's shared-memory objects as other processes may leave them:
// made first by another user (empty, open to everyone), or shrunk by a
// reader while the host runs. Neither may crash the host. Each scenario runs
// in a fresh process of its own, so that a crash fails the test instead of
// ending the test program, and its objects are its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/published_blocks.h"
#include "publish/shared_block.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "failed: %s\n", what);
    std::_Exit(3);
  }
}

std::string objectPath(const char* name) {
  char effective[256];
  platform::effectiveObjectName(name, effective, sizeof effective);
  return std::string("/") + effective;
}

// Runs `work` in a child process that ends with it; returns how it ended.
int inChild(const std::function<void()>& work) {
  pid_t pid = fork();
  if (pid == 0) {
    work();
    std::_Exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Drives a plugin object through a short session in this process.
void runSession(RenderPlugin& plugin, int telemetryCalls) {
  testing::ScoringBuilder scoring;
  scoring.addVehicle("Me", 1).isPlayer = 1;
  HostTelemetry telemetry = testing::makeTelemetry();
  plugin.startup(0);
  plugin.startSession();
  plugin.enterRealtime();
  for (int i = 0; i < telemetryCalls; ++i) {
    telemetry.lapNumber = i;
    plugin.updateTelemetry(&telemetry);
    if (i % 10 == 0) plugin.updateScoring(scoring.record());
  }
  plugin.exitRealtime();
  plugin.endSession();
  plugin.shutdown();
}

class PosixSharedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(PosixSharedMemoryTest, ObjectsAnotherUserMadeFirstAreNotTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
  EXPECT_EXIT(
      {
        testing::ScratchFolder folder;
        // Another user makes both objects first, empty and open to all.
        int made = inChild([] {
          require(setuid(65534) == 0, "setuid");
          for (const char* name : {"$Quorvex2KORVANEL$", "Korvanel.state"}) {
            int fd = shm_open(objectPath(name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
            require(fd >= 0, "shm_open as another user");
            fchmod(fd, 0666);
            close(fd);
          }
        });
        require(WIFEXITED(made) && WEXITSTATUS(made) == 0, "objects made");
        PluginConfig config;
        PluginConfig::setInstanceForTesting(&config);
        {
          RenderPlugin plugin;
          require(sharedBlock() == nullptr, "no block on another user's object");
          runSession(plugin, 30);  // on its in-process copies
          require(hostState().closed == 1, "the state record is this process's");
        }
        std::string log = folder.readFile("Plugins/KORVANEL/KORVANEL.log.txt");
        require(log.find("ERROR CreateFileMapping: 1") != std::string::npos, "logged");
        platform::unlinkNamedObjects();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(PosixSharedMemoryTest, AReaderShrinkingTheObjectsDoesNotCrashTheHost) {
  EXPECT_EXIT(
      {
        testing::ScratchFolder folder;
        PluginConfig config;
        PluginConfig::setInstanceForTesting(&config);
        {
          RenderPlugin plugin;
          require(sharedBlock() != nullptr, "block created");
          struct stat st;
          for (const char* name : {"$Quorvex2KORVANEL$", "Korvanel.state"}) {
            int fd = shm_open(objectPath(name).c_str(), O_RDONLY, 0);
            require(fd >= 0 && fstat(fd, &st) == 0, "object there");
            require((st.st_mode & 0777) == 0600, "for this user only");
            close(fd);
          }
          runSession(plugin, 30);
          // A reader with the wrong idea of the sizes cuts both objects.
          int cut = inChild([] {
            int fd = shm_open(objectPath("$Quorvex2KORVANEL$").c_str(), O_RDWR, 0);
            require(fd >= 0 && ftruncate(fd, 4096) == 0, "block shrunk");
            fd = shm_open(objectPath("Korvanel.state").c_str(), O_RDWR, 0);
            require(fd >= 0 && ftruncate(fd, 0) == 0, "section shrunk");
          });
          require(WIFEXITED(cut) && WEXITSTATUS(cut) == 0, "reader ran");
          runSession(plugin, 30);  // would die of SIGBUS on the cut pages
          int fd = shm_open(objectPath("$Quorvex2KORVANEL$").c_str(), O_RDONLY, 0);
          require(fd >= 0 && fstat(fd, &st) == 0 && st.st_size == 151832, "size restored");
          void* view = mmap(nullptr, 151832, PROT_READ, MAP_SHARED, fd, 0);
          require(view != MAP_FAILED, "reader maps again");
          const auto* block = static_cast<const SharedBlock*>(view);
          require(block->telemetry.telemetry.lapNumber == 29, "readers see the updates again");
          require(block->state.closed == 1, "and the state record");
          // Without the stamp no reader calls a copy whole again.
          require(block->layoutStamp == kLayoutStamp, "the layout stamp is back");
          close(fd);
        }
        platform::unlinkNamedObjects();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korvanel

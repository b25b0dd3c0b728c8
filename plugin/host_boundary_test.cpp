// An exception thrown inside the plugin's work never reaches the host: the
// call returns, the lock is left as it was found, and the log says so once.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "platform/platform.h"
#include "plugin/render_plugin.h"
#include "publish/data_lock.h"
#include "settings/plugin_config.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

uint32_t throwingTick() { throw std::bad_alloc(); }

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(HostBoundaryTest, NoExceptionLeavesAHostCallAndEachKindIsLoggedOnce) {
  testing::ScratchFolder folder;
  PluginConfig config;
  PluginConfig::setInstanceForTesting(&config);
  {
    RenderPlugin plugin;
    InternalsPlugin& host = plugin;  // called as the host calls, through the table
    host.startup(0);
    testing::ScoringBuilder scoring;
    scoring.addVehicle("Me", 1).isPlayer = 1;
    HostTelemetry telemetry = testing::makeTelemetry();

    platform::setTickSourceForTesting(throwingTick);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NO_THROW(host.updateTelemetry(&telemetry));
      EXPECT_NO_THROW(host.updateScoring(scoring.record()));
      EXPECT_NO_THROW(host.startSession());
    }
    platform::setTickSourceForTesting(nullptr);

    // The lock the cycles held when the throw came is free again.
    ASSERT_TRUE(platform::lockTryEnter(dataLock()));
    platform::lockLeave(dataLock());
    host.updateTelemetry(&telemetry);  // and the plugin carries on
    host.shutdown();

    std::string log = folder.readFile("Plugins/KORVANEL/KORVANEL.log.txt");
    EXPECT_EQ(count(log, "ERROR exception in telemetry update: std::bad_alloc"), 1u) << log;
    EXPECT_EQ(count(log, "ERROR exception in scoring update: std::bad_alloc"), 1u) << log;
    EXPECT_EQ(count(log, "ERROR exception in session start: std::bad_alloc"), 1u) << log;
  }
  PluginConfig::setInstanceForTesting(nullptr);
}

}  // namespace
}  // namespace korvanel

// The plugin object as a receiver of host calls. Like the host, it asks the
// object once whether it wants scoring and telemetry, and sends those
// updates only if it does.
#pragma once

#include "tools/host/host_calls.h"
#include "tools/host/plugin_caller.h"

namespace korvanel::tools {

class PluginCalls : public HostCalls {
 public:
  explicit PluginCalls(PluginCaller& plugin)
      : plugin_(plugin),
        wantsScoring_(plugin.wantsScoring()),
        wantsTelemetry_(plugin.wantsTelemetry() != 0) {}

  bool wantsScoring() const { return wantsScoring_; }
  bool wantsTelemetry() const { return wantsTelemetry_; }

  void startup(int32_t value) override { plugin_.startup(value); }
  void shutdown() override { plugin_.shutdown(); }
  void startSession() override { plugin_.startSession(); }
  void endSession() override { plugin_.endSession(); }
  void enterRealtime() override { plugin_.enterRealtime(); }
  void exitRealtime() override { plugin_.exitRealtime(); }
  void scoring(const HostScoring& record) override {
    if (wantsScoring_) plugin_.updateScoring(record);
  }
  void telemetry(const HostTelemetry& record) override {
    if (wantsTelemetry_) plugin_.updateTelemetry(record);
  }
  void hold() override {}

 private:
  PluginCaller& plugin_;
  bool wantsScoring_;
  bool wantsTelemetry_;
};

}  // namespace korvanel::tools

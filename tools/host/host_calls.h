// Everything the host says to a plugin object, as one interface: the plugin
// itself, a recording, or both at once stand behind it.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace korvanel::tools {

class HostCalls {
 public:
  virtual ~HostCalls() = default;
  virtual void startup(int32_t value) = 0;
  virtual void shutdown() = 0;
  virtual void startSession() = 0;
  virtual void endSession() = 0;
  virtual void enterRealtime() = 0;
  virtual void exitRealtime() = 0;
  virtual void scoring(const HostScoring& record) = 0;
  virtual void telemetry(const HostTelemetry& record) = 0;
  // Marks where the host idles after the race (a recording keeps the mark
  // so that a replay can idle at the same point).
  virtual void hold() = 0;
};

// Passes every call on to each of several receivers, in order.
class FanOut : public HostCalls {
 public:
  void add(HostCalls* receiver) { receivers_.push_back(receiver); }
  void startup(int32_t value) override {
    for (auto* r : receivers_) r->startup(value);
  }
  void shutdown() override {
    for (auto* r : receivers_) r->shutdown();
  }
  void startSession() override {
    for (auto* r : receivers_) r->startSession();
  }
  void endSession() override {
    for (auto* r : receivers_) r->endSession();
  }
  void enterRealtime() override {
    for (auto* r : receivers_) r->enterRealtime();
  }
  void exitRealtime() override {
    for (auto* r : receivers_) r->exitRealtime();
  }
  void scoring(const HostScoring& record) override {
    for (auto* r : receivers_) r->scoring(record);
  }
  void telemetry(const HostTelemetry& record) override {
    for (auto* r : receivers_) r->telemetry(record);
  }
  void hold() override {
    for (auto* r : receivers_) r->hold();
  }

 private:
  std::vector<HostCalls*> receivers_;
};

}  // namespace korvanel::tools

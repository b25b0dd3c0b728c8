// The host's interface classes. The host calls the virtual methods by their
// position in the table, with the native 32-bit C++ ABI: slot 0 is a single
// deleting destructor, every method is thiscall. Declaration order here is
// that table; never reorder, insert or remove a virtual method.
#pragma once

#include <cstdint>

#include "host/host_records.h"

namespace korvanel {

// The host's handle type: no virtual functions, one 4-byte member that only
// the host uses. Because the derived class introduces the table, this part
// of an object lies 4 bytes after its start.
class PluginObject {
 public:
  PluginObject() = default;
  PluginObject(const PluginObject&) = delete;
  PluginObject& operator=(const PluginObject&) = delete;

 protected:
  ~PluginObject() = default;

 private:
  [[maybe_unused]] uint32_t hostData_ = 0;
};

class InternalsPlugin : public PluginObject {
 public:
  // Slot 0, in place of a virtual destructor: the native ABI gives a class
  // one deleting-destructor slot that takes flags (bit 0: free the memory)
  // and returns the object's address. A C++ virtual destructor would take two
  // slots under this compiler and shift every later method.
  virtual void* destroy(uint32_t flags) {
    this->~InternalsPlugin();
    if (flags & 1u) ::operator delete(this);
    return this;
  }
  virtual void startup(int32_t) {}                          // 1
  virtual void shutdown() {}                                // 2
  virtual void unused3() {}                                 // 3
  virtual void unused4() {}                                 // 4
  virtual void startSession() {}                            // 5
  virtual void endSession() {}                              // 6
  virtual void enterRealtime() {}                           // 7
  virtual void exitRealtime() {}                            // 8
  virtual bool wantsScoringUpdates() { return false; }      // 9
  virtual void updateScoring(const HostScoring*) {}         // 10
  virtual int32_t wantsTelemetryUpdates() { return 0; }     // 11
  virtual void updateTelemetry(const HostTelemetry*) {}     // 12
  virtual bool query13() { return false; }                  // 13
  virtual void unused14(int32_t) {}                         // 14
  virtual bool query15(int32_t) { return false; }           // 15
  virtual bool query16() { return false; }                  // 16
  virtual void unused17(int32_t, int32_t) {}                // 17
  virtual void unused18() {}                                // 18
  virtual void unused19() {}                                // 19
  virtual bool query20(int32_t, int32_t) { return false; }  // 20
  virtual bool query21(int32_t) { return false; }           // 21
  virtual void unused22(int32_t) {}                         // 22

 protected:
  ~InternalsPlugin() = default;
};

class InternalsPluginV01 : public InternalsPlugin {
 public:
  virtual bool query23(int32_t, int32_t) = 0;  // 23

 protected:
  ~InternalsPluginV01() = default;
};

}  // namespace korvanel

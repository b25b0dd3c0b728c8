// The few operating-system services the substitute host and the monitor
// need: loading a library, mapping the named block, sleeping, a clock, and
// the terminal. One implementation per system; the build picks which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvanel::tools {

// Loads the library at `path`. Returns null and fills `error` with the
// system's reason when it cannot be loaded.
void* openLibrary(const std::string& path, std::string& error);
// Address of the exported `name`, or null when the library lacks it.
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

// The name a named object really has: `base` followed by the value of
// KORVANEL_NAME_SUFFIX, the convention that keeps parallel runs apart.
std::string effectiveName(const char* base);

struct MappedBlock {
  void* view = nullptr;
  uintptr_t handle = 0;  // 0 when there is none
  size_t size = 0;
};

// Opens an existing named block of at least `size` bytes for reading and
// writing. Returns false, with `out` empty, when there is none.
bool openNamedBlock(const std::string& name, size_t size, MappedBlock& out);
void closeNamedBlock(MappedBlock& block);

// Removes what a plugin left registered under its names once its process is
// done with them, so a later reader finds nothing, as it would once the
// host's process ended. No-op where the system does this by itself.
void removeNamedObjects(const std::string& blockName);

double monotonicSeconds();
void sleepSeconds(double seconds);

// True when standard output is a terminal; turns on ANSI sequences there.
bool prepareTerminal();

// Ctrl-C and termination requests set a flag instead of killing the tool.
void installInterruptFlag();
bool interrupted();

}  // namespace korvanel::tools

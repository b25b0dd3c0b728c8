// The few operating-system services the substitute host and the monitor
// need beyond the plugin's platform layer: loading a library, sleeping, a
// clock, and the terminal. One implementation per system; the build picks which.
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

// The named block and the name convention that keeps parallel runs apart
// (KORVANEL_NAME_SUFFIX) are the plugin's own platform layer's:
// platform/platform.h, linked into the tools.

double monotonicSeconds();
void sleepSeconds(double seconds);

// True when standard output is a terminal; turns on ANSI sequences and
// UTF-8 output there.
bool prepareTerminal();
// Lines of the terminal on standard output; 0 when it is not one or does not say.
int terminalLines();

// Runs `read(context)` and returns true; returns false instead when the read
// touched a page of a mapped file beyond the file's end, which on POSIX
// systems raises SIGBUS and would end the process (another program shrank
// the file). `read` is abandoned where it stood then, so it must own nothing
// that needs destroying. Other bus errors take their usual course.
bool runGuardingMappedReads(void (*read)(void* context), void* context);

// Ctrl-C and termination requests set a flag instead of killing the tool.
void installInterruptFlag();
bool interrupted();

}  // namespace korvanel::tools

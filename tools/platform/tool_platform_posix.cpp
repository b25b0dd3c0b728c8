// POSIX services of the tools: dlopen, clock_gettime, signals.
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "tools/platform/tool_platform.h"

namespace korvanel::tools {
namespace {

std::atomic<bool> gInterrupted{false};

void onSignal(int) { gInterrupted.store(true); }

}  // namespace

void* openLibrary(const std::string& path, std::string& error) {
  // A bare file name would be searched on the library path; the host means
  // the file it was given.
  std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = reason ? reason : "unknown error";
  }
  return library;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void closeLibrary(void* library) {
  if (library) dlclose(library);
}

double monotonicSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleepSeconds(double seconds) {
  if (seconds <= 0) return;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR && !gInterrupted.load()) {
  }
}

bool prepareTerminal() { return isatty(STDOUT_FILENO) != 0; }

void installInterruptFlag() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return gInterrupted.load(); }

}  // namespace korvanel::tools

// POSIX services of the tools: dlopen, shm_open and mmap, clock_gettime.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "tools/tool_platform.h"

namespace korvanel::tools {
namespace {

std::atomic<bool> gInterrupted{false};

void onSignal(int) { gInterrupted.store(true); }

std::string shmPath(const std::string& name) { return "/" + name; }

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

std::string effectiveName(const char* base) {
  const char* suffix = std::getenv("KORVANEL_NAME_SUFFIX");
  return std::string(base) + (suffix ? suffix : "");
}

bool openNamedBlock(const std::string& name, size_t size, MappedBlock& out) {
  out = MappedBlock{};
  int fd = shm_open(shmPath(name).c_str(), O_RDWR, 0);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(size)) {
    close(fd);
    return false;
  }
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (view == MAP_FAILED) return false;
  out.view = view;
  out.size = size;
  return true;
}

void closeNamedBlock(MappedBlock& block) {
  if (block.view) munmap(block.view, block.size);
  block = MappedBlock{};
}

void removeNamedObjects(const std::string& blockName) {
  shm_unlink(shmPath(blockName).c_str());
  // The library's shared state section lives in an object of its own here;
  // on Windows it goes away with the last process that loaded the library.
  shm_unlink(shmPath(effectiveName("Korvanel.state")).c_str());
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

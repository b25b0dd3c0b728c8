// POSIX services of the tools: dlopen, clock_gettime, signals.
#include <dlfcn.h>
#include <setjmp.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include "tools/platform/tool_platform.h"

namespace korvanel::tools {
namespace {

std::atomic<bool> gInterrupted{false};

void onSignal(int) { gInterrupted.store(true); }

// Where the guarded read of this thread jumps back to; null outside one.
thread_local sigjmp_buf* tReadGuard = nullptr;
struct sigaction gPreviousBusAction;

void onBusError(int signal, siginfo_t* info, void*) {
  sigjmp_buf* guard = tReadGuard;
  if (guard != nullptr) siglongjmp(*guard, 1);
  // Not a guarded read: with the previous action back, a fault happens
  // again when this returns, and a signal that was sent is sent again.
  sigaction(SIGBUS, &gPreviousBusAction, nullptr);
  if (info == nullptr || info->si_code <= 0) raise(signal);
}

void installBusGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPreviousBusAction);
  });
}

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

bool runGuardingMappedReads(void (*read)(void* context), void* context) {
  installBusGuard();
  sigjmp_buf jump;
  // The signal mask is saved: the handler's blocked SIGBUS is undone on the
  // way back.
  if (sigsetjmp(jump, 1) != 0) {
    tReadGuard = nullptr;
    return false;
  }
  tReadGuard = &jump;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  read(context);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tReadGuard = nullptr;
  return true;
}

bool prepareTerminal() { return isatty(STDOUT_FILENO) != 0; }

int terminalLines() {
  struct winsize size {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}

void installInterruptFlag() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return gInterrupted.load(); }

}  // namespace korvanel::tools

// Windows services of the tools: LoadLibrary, named file mappings, the
// performance counter, and the console's ANSI mode.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "tools/platform/tool_platform.h"
#include "tools/platform/win32_error_text.h"

namespace korvanel::tools {
namespace {

std::atomic<bool> gInterrupted{false};

BOOL WINAPI onConsoleEvent(DWORD) {
  gInterrupted.store(true);
  return TRUE;
}

}  // namespace

std::string win32ErrorText(unsigned long code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out + " (error " + std::to_string(code) + ")";
}

void* openLibrary(const std::string& path, std::string& error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) error = win32ErrorText(GetLastError());
  return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

double monotonicSeconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void sleepSeconds(double seconds) {
  if (seconds <= 0) return;
  Sleep(static_cast<DWORD>(seconds * 1000.0 + 0.5));
}

// A section's size is fixed when it is created: no view of it can shrink.
bool runGuardingMappedReads(void (*read)(void* context), void* context) {
  read(context);
  return true;
}

bool prepareTerminal() {
  if (!_isatty(_fileno(stdout))) return false;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    SetConsoleMode(out, mode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */);
  }
  // The screen is UTF-8: names past ASCII and its own marks.
  SetConsoleOutputCP(CP_UTF8);
  return true;
}

int terminalLines() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

void installInterruptFlag() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool interrupted() { return gInterrupted.load(); }

}  // namespace korvanel::tools

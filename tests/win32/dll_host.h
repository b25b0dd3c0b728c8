// A harness that acts like the host: loads the DLL, resolves its exports
// and calls the plugin object's methods through the table by position, with
// thiscall pointers of its own. It never uses the project's class headers,
// so a slip in the table's layout fails the tests that use it.
//
// The 64-bit twin has one calling convention for everything: built there,
// these tests prove the table's positions and the object's layout, but not
// the host's 32-bit thiscall, which only the 32-bit DLL can show.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace korvanel::wine {

// Positions in the plugin object's table, as the host numbers them.
enum Slot : int {
  kDestroy = 0,
  kStartup = 1,
  kShutdown = 2,
  kStartSession = 5,
  kEndSession = 6,
  kEnterRealtime = 7,
  kExitRealtime = 8,
  kWantsScoring = 9,
  kUpdateScoring = 10,
  kWantsTelemetry = 11,
  kUpdateTelemetry = 12,
};

// A path as Windows programs take it: a Unix path from the build becomes a
// path on Wine's Z: drive.
inline std::string windowsPath(const std::string& path) {
  std::string out = path;
  if (!out.empty() && out[0] == '/') out = "Z:" + out;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

// The DLL under test; its path comes from the build.
inline std::string dllPath() {
#ifdef KORVANEL_DLL_PATH
  return windowsPath(KORVANEL_DLL_PATH);
#else
  return "Korvanel.dll";
#endif
}

class DllHost {
 public:
  using NameFn = const char*(__cdecl*)();
  using IntFn = int32_t(__cdecl*)();
  using CreateFn = void*(__cdecl*)();
  using DestroyFn = void(__cdecl*)(void*);
  using PointerFn = void*(__cdecl*)();
  using TrackLoadedFn = uint8_t(__cdecl*)(uint32_t);
  using TimeFn = float(__cdecl*)();

  explicit DllHost(const std::string& path = dllPath()) { module_ = LoadLibraryA(path.c_str()); }
  ~DllHost() {
    if (module_) FreeLibrary(module_);
  }
  DllHost(const DllHost&) = delete;
  DllHost& operator=(const DllHost&) = delete;

  bool loaded() const { return module_ != nullptr; }

  template <typename Fn>
  Fn resolve(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  // The handle the host keeps: CreatePluginObject's answer.
  void* create() {
    handle_ = resolve<CreateFn>("CreatePluginObject")();
    return handle_;
  }
  void destroyThroughExport() {
    resolve<DestroyFn>("DestroyPluginObject")(handle_);
    handle_ = nullptr;
  }
  void* handle() const { return handle_; }

  // The object starts one table pointer before the handle.
  void* object() const { return static_cast<char*>(handle_) - sizeof(void*); }
  void** table() const { return *static_cast<void***>(object()); }

  // Calls table position `slot` as the host does: thiscall, `this` in ECX
  // (on the 64-bit twin, the one convention, `this` in RCX).
  template <typename R, typename... Args>
  R call(int slot, Args... args) const {
#if defined(__i386__)
    using Fn = R(__attribute__((thiscall))*)(void*, Args...);
#else
    using Fn = R (*)(void*, Args...);
#endif
    return reinterpret_cast<Fn>(table()[slot])(object(), args...);
  }

  // The host's own 4-byte member, right after the table pointer.
  uint32_t& hostMember() const { return *static_cast<uint32_t*>(handle_); }

  template <typename T>
  T* getter(const char* name) const {
    return static_cast<T*>(resolve<PointerFn>(name)());
  }

 private:
  HMODULE module_ = nullptr;
  void* handle_ = nullptr;
};

// A view of the named shared block as another process sees it, under the
// name the DLL gives it (with the run's KORVANEL_NAME_SUFFIX).
class BlockView {
 public:
  // With the suffix of KORVANEL_NAME_SUFFIX, as the plugin names it.
  explicit BlockView(const char* name) {
    const char* suffix = std::getenv("KORVANEL_NAME_SUFFIX");
    std::string full = std::string(name) + (suffix ? suffix : "");
    mapping_ = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, full.c_str());
    if (mapping_) view_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  }
  ~BlockView() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  BlockView(const BlockView&) = delete;
  BlockView& operator=(const BlockView&) = delete;

  bool open() const { return view_ != nullptr; }
  unsigned char* bytes() const { return static_cast<unsigned char*>(view_); }
  template <typename T>
  T at(size_t offset) const {
    T value;
    std::memcpy(&value, bytes() + offset, sizeof value);
    return value;
  }

 private:
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
};

}  // namespace korvanel::wine

// A short plain-text diary of the plugin's life. Every line is flushed at
// once; a log that cannot be opened makes every write a silent no-op.
#pragma once

#include <cstdint>
#include <cstdio>

namespace korvanel {

class PluginLog {
 public:
  // Opens (creates or truncates) the file at the host path `path`; a path
  // longer than the 260-byte member is cut, never overrun.
  explicit PluginLog(const char* path);
  ~PluginLog();
  PluginLog(const PluginLog&) = delete;
  PluginLog& operator=(const PluginLog&) = delete;

  void close();
  void write(const char* text);
  void write(const char* text, const char* more);
  void write(const char* text, int32_t number);
  void write(const char* text, float number);

  bool isOpen() const { return file_ != nullptr; }
  const char* path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  char path_[260];
};

}  // namespace korvanel

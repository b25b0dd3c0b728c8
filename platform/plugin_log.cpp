// The plugin's log file.
#include "platform/plugin_log.h"

#include "platform/platform.h"

namespace korvanel {

PluginLog::PluginLog(const char* path) {
  std::snprintf(path_, sizeof path_, "%s", path ? path : "");
  char native[1024];
  platform::hostPath(path_, native, sizeof native);
  // Text mode: line ends are stored as the platform writes them. A pipe in
  // the file's place is refused rather than waited on.
  file_ = platform::openFileForWriting(native);
}

PluginLog::~PluginLog() { close(); }

void PluginLog::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void PluginLog::write(const char* text) {
  if (!file_) return;
  std::fprintf(file_, "%s\n", text);
  std::fflush(file_);
}

void PluginLog::write(const char* text, const char* more) {
  if (!file_) return;
  std::fprintf(file_, "%s%s\n", text, more);
  std::fflush(file_);
}

void PluginLog::write(const char* text, int32_t number) {
  if (!file_) return;
  std::fprintf(file_, "%s%d\n", text, static_cast<int>(number));
  std::fflush(file_);
}

void PluginLog::write(const char* text, float number) {
  if (!file_) return;
  std::fprintf(file_, "%s%f\n", text, static_cast<double>(number));
  std::fflush(file_);
}

}  // namespace korvanel

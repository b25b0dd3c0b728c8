// The plugin's log file.
#include "platform/plugin_log.h"

#include "platform/platform.h"

namespace korvanel {
namespace {

// Writes one line and flushes it; nothing when the log is not open.
template <class... Args>
void writeLine(std::FILE* file, const char* format, Args... args) {
  if (!file) return;
  std::fprintf(file, format, args...);
  std::fflush(file);
}

}  // namespace

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

void PluginLog::write(const char* text) { writeLine(file_, "%s\n", text); }
void PluginLog::write(const char* text, const char* more) {
  writeLine(file_, "%s%s\n", text, more);
}
void PluginLog::write(const char* text, int32_t number) {
  writeLine(file_, "%s%d\n", text, static_cast<int>(number));
}
void PluginLog::write(const char* text, float number) {
  writeLine(file_, "%s%f\n", text, static_cast<double>(number));
}

}  // namespace korvanel

// Recordings of a host's calls: a header (magic and format version) and one
// record per call, each with the wall-clock second it was made at. Records
// are delta-encoded against the previous record of their kind. A recording
// ends with an end record, so a cut-off file is recognised as such.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host_records.h"
#include "tools/host/host_calls.h"

namespace korvanel::tools {

constexpr uint32_t kRecordingVersion = 1;

enum class CallKind : uint8_t {
  kStartup = 1,
  kShutdown = 2,
  kStartSession = 3,
  kEndSession = 4,
  kEnterRealtime = 5,
  kExitRealtime = 6,
  kScoring = 7,
  kTelemetry = 8,
  kHold = 9,
  kEnd = 10,
};

// One call read back from a recording.
struct RecordedCall {
  CallKind kind = CallKind::kEnd;
  double wallSeconds = 0.0;  // since the recording began
  int32_t startupValue = 0;
  HostTelemetry telemetry{};
  HostScoring header{};  // without its two pointers; see scoring()
  std::string text;
  std::vector<HostVehicle> vehicles;

  // The scoring record, its pointers aimed at this object's text and
  // vehicles (valid while this object lives unchanged).
  const HostScoring& scoring();
};

class RecordWriter : public HostCalls {
 public:
  ~RecordWriter() override;
  // Creates the file and writes the header. False with `error` on failure.
  bool open(const std::string& path, std::string& error);
  // Writes the end record and closes. False with `error` when any write
  // since `open` failed.
  bool close(std::string& error);

  void startup(int32_t value) override;
  void shutdown() override { writeEmpty(CallKind::kShutdown); }
  void startSession() override { writeEmpty(CallKind::kStartSession); }
  void endSession() override { writeEmpty(CallKind::kEndSession); }
  void enterRealtime() override { writeEmpty(CallKind::kEnterRealtime); }
  void exitRealtime() override { writeEmpty(CallKind::kExitRealtime); }
  void scoring(const HostScoring& record) override;
  void telemetry(const HostTelemetry& record) override;
  void hold() override { writeEmpty(CallKind::kHold); }

 private:
  void writeEmpty(CallKind kind);
  void write(CallKind kind, const std::vector<uint8_t>& payload);

  std::FILE* file_ = nullptr;
  std::string path_;
  double start_ = 0.0;
  bool failed_ = false;
  std::vector<uint8_t> lastTelemetry_, lastHeader_, lastVehicles_;
};

class RecordReader {
 public:
  ~RecordReader();
  // Opens the file and checks its header; records are read from the file
  // one at a time, so a recording of any length needs little memory. False
  // with `error` for a missing file or one that is not a recording of this
  // version (damaged() tells which).
  bool open(const std::string& path, std::string& error);
  // The next call. False at the end record (with `error` empty) or when the
  // file is cut off or damaged (with `error` saying where), or cannot be
  // read. Every count in a record is checked against what the record holds,
  // and a record time that no recording can have is refused.
  bool next(RecordedCall& call, std::string& error);
  // Walks every record once. False with `error` unless the file is whole.
  bool verify(std::string& error);
  void rewind();
  // Whether the latest failure was the file's own fault (cut off, damaged,
  // not a recording) rather than one of reading it.
  bool damaged() const { return damaged_; }

  // Longest time a record may give, in seconds since the recording began:
  // about eleven and a half days, far beyond any race.
  static constexpr double kMaxWallSeconds = 1e6;

 private:
  bool fail(std::string& error, const std::string& what);
  bool truncated(std::string& error, const std::string& what);
  bool readAt(uint64_t offset, uint8_t* out, size_t size);

  std::FILE* file_ = nullptr;
  uint64_t fileSize_ = 0;
  std::vector<uint8_t> payload_;
  std::string path_;
  uint64_t position_ = 0;
  size_t index_ = 0;
  bool ended_ = false;
  bool damaged_ = false;
  std::vector<uint8_t> lastTelemetry_, lastHeader_, lastVehicles_;
};

}  // namespace korvanel::tools

// Writing a recording as the calls happen.
#include <cstring>

#include "tools/recording/delta_codec.h"
#include "tools/recording/recording.h"
#include "tools/recording/recording_format.h"
#include "tools/platform/tool_platform.h"

namespace korvanel::tools {

using namespace format;

RecordWriter::~RecordWriter() {
  if (file_) std::fclose(file_);
}

bool RecordWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    error = "cannot create the recording " + path;
    return false;
  }
  uint8_t header[kFileHeaderSize];
  std::memcpy(header, kMagic, sizeof kMagic);
  putU32(header + 8, kRecordingVersion);
  putU32(header + 12, kFileHeaderSize);
  putU32(header + 16, sizeof(HostTelemetry));
  putU32(header + 20, sizeof(HostVehicle));
  failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
  start_ = monotonicSeconds();
  lastTelemetry_.assign(sizeof(HostTelemetry), 0);
  lastHeader_.assign(kHeaderBytes, 0);
  lastVehicles_.clear();
  return true;
}

bool RecordWriter::close(std::string& error) {
  if (file_ == nullptr) return true;
  writeEmpty(CallKind::kEnd);
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (failed_) error = "writing the recording " + path_ + " failed";
  return !failed_;
}

void RecordWriter::write(CallKind kind, const std::vector<uint8_t>& payload) {
  if (file_ == nullptr) return;
  uint8_t head[kRecordHeaderSize];
  head[0] = static_cast<uint8_t>(kind);
  putU32(head + 1, static_cast<uint32_t>(payload.size()));
  double wall = monotonicSeconds() - start_;
  std::memcpy(head + 5, &wall, sizeof wall);
  if (std::fwrite(head, 1, sizeof head, file_) != sizeof head) failed_ = true;
  if (!payload.empty() && std::fwrite(payload.data(), 1, payload.size(), file_) != payload.size()) {
    failed_ = true;
  }
}

void RecordWriter::writeEmpty(CallKind kind) { write(kind, {}); }

void RecordWriter::startup(int32_t value) {
  std::vector<uint8_t> payload(4);
  putU32(payload.data(), static_cast<uint32_t>(value));
  write(CallKind::kStartup, payload);
}

void RecordWriter::telemetry(const HostTelemetry& record) {
  std::vector<uint8_t> payload;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  deltaEncode(bytes, lastTelemetry_.data(), sizeof record, payload);
  std::memcpy(lastTelemetry_.data(), bytes, sizeof record);
  write(CallKind::kTelemetry, payload);
}

void RecordWriter::scoring(const HostScoring& record) {
  std::vector<uint8_t> payload;
  uint8_t header[kHeaderBytes];
  packHeader(record, header);
  deltaEncode(header, lastHeader_.data(), kHeaderBytes, payload);
  std::memcpy(lastHeader_.data(), header, kHeaderBytes);

  std::string text = record.hostText ? record.hostText : "";
  if (text.size() > kMaxText) text.resize(kMaxText);
  uint8_t count[4];
  putU32(count, static_cast<uint32_t>(text.size()));
  payload.insert(payload.end(), count, count + 4);
  payload.insert(payload.end(), text.begin(), text.end());

  uint32_t vehicles =
      record.vehicleCount > 0 && record.vehicles ? static_cast<uint32_t>(record.vehicleCount) : 0;
  if (vehicles > kMaxVehicles) vehicles = kMaxVehicles;
  putU32(count, vehicles);
  payload.insert(payload.end(), count, count + 4);
  size_t blob = vehicles * sizeof(HostVehicle);
  lastVehicles_.resize(blob, 0);
  const auto* bytes = reinterpret_cast<const uint8_t*>(record.vehicles);
  deltaEncode(bytes, lastVehicles_.data(), blob, payload);
  if (blob) std::memcpy(lastVehicles_.data(), bytes, blob);
  write(CallKind::kScoring, payload);
}

}  // namespace korvanel::tools

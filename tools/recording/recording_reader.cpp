// Reading a recording back, one record at a time. Every length and count
// in the file is checked against what is left before it is used, so a
// cut-off, damaged or foreign file ends in an error message, never in a read
// past the data.
#include <cmath>
#include <cstring>
#include <filesystem>

#include "tools/recording/delta_codec.h"
#include "tools/recording/recording.h"
#include "tools/recording/recording_format.h"

namespace korvanel::tools {

using namespace format;

const HostScoring& RecordedCall::scoring() {
  header.hostText = text.c_str();
  header.vehicles = vehicles.empty() ? nullptr : vehicles.data();
  return header;
}

RecordReader::~RecordReader() {
  if (file_) std::fclose(file_);
}

bool RecordReader::readAt(uint64_t offset, uint8_t* out, size_t size) {
  // Positioned by 64-bit offsets: a day's recording passes 2 GB.
#ifdef _WIN32
  if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return false;
#else
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
#endif
  return std::fread(out, 1, size, file_) == size;
}

bool RecordReader::open(const std::string& path, std::string& error) {
  path_ = path;
  damaged_ = false;
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  std::error_code ec;
  fileSize_ = file_ ? std::filesystem::file_size(path, ec) : 0;
  if (!file_ || ec) {
    error = "cannot open the recording " + path;
    return false;
  }
  uint8_t header[kFileHeaderSize] = {};
  size_t got = std::fread(header, 1, sizeof header, file_);
  damaged_ = true;
  if (got < sizeof kMagic || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
    error = path + " is not a Korvanel recording";
    return false;
  }
  if (got < kFileHeaderSize) {
    error = "the recording " + path + " is truncated: its header is cut off";
    return false;
  }
  uint32_t version = getU32(&header[8]);
  if (version != kRecordingVersion) {
    error = path + " is a recording of format version " + std::to_string(version) +
            "; this host reads version " + std::to_string(kRecordingVersion);
    return false;
  }
  if (getU32(&header[12]) != kFileHeaderSize || getU32(&header[16]) != sizeof(HostTelemetry) ||
      getU32(&header[20]) != sizeof(HostVehicle)) {
    return fail(error, "its header gives record sizes this host does not know");
  }
  damaged_ = false;
  rewind();
  return true;
}

void RecordReader::rewind() {
  position_ = kFileHeaderSize;
  index_ = 0;
  ended_ = false;
  lastTelemetry_.assign(sizeof(HostTelemetry), 0);
  lastHeader_.assign(kHeaderBytes, 0);
  lastVehicles_.clear();
}

bool RecordReader::fail(std::string& error, const std::string& what) {
  damaged_ = true;
  error = "the recording " + path_ + " is damaged: " + what + " (record " +
          std::to_string(index_ + 1) + ", byte " + std::to_string(position_) + ")";
  return false;
}

bool RecordReader::truncated(std::string& error, const std::string& what) {
  damaged_ = true;
  error = "the recording " + path_ + " is truncated" + what;
  return false;
}

bool RecordReader::next(RecordedCall& call, std::string& error) {
  error.clear();
  if (ended_) return false;
  uint64_t left = fileSize_ - position_;
  if (left == 0) {
    return truncated(
        error, ": it stops after " + std::to_string(index_) + " records without its end mark");
  }
  if (left < kRecordHeaderSize) {
    return truncated(error, " in the header of record " + std::to_string(index_ + 1));
  }
  uint8_t head[kRecordHeaderSize];
  if (!readAt(position_, head, sizeof head)) {
    damaged_ = false;
    error = "cannot read the recording " + path_;
    return false;
  }
  uint32_t size = getU32(head + 1);
  if (size > left - kRecordHeaderSize) {
    return truncated(error, " in record " + std::to_string(index_ + 1));
  }
  // No record of a known kind is larger than its largest scoring record.
  constexpr size_t kMaxPayload =
      2 * (kHeaderBytes + kMaxText + kMaxVehicles * sizeof(HostVehicle)) + 64;
  if (size > kMaxPayload) return fail(error, "a record is longer than any record can be");
  payload_.resize(size);
  if (size > 0 && !readAt(position_ + kRecordHeaderSize, payload_.data(), size)) {
    damaged_ = false;
    error = "cannot read the recording " + path_;
    return false;
  }
  call.kind = static_cast<CallKind>(head[0]);
  std::memcpy(&call.wallSeconds, head + 5, sizeof call.wallSeconds);
  if (!(call.wallSeconds >= 0.0) || call.wallSeconds > kMaxWallSeconds) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "a record time of %g s is not a time since the recording began",
                  call.wallSeconds);
    return fail(error, text);
  }
  const uint8_t* p = payload_.data();
  size_t used = 0;
  switch (call.kind) {
    case CallKind::kStartup:
      if (size != 4) return fail(error, "a startup record has the wrong size");
      call.startupValue = static_cast<int32_t>(getU32(p));
      used = 4;
      break;
    case CallKind::kShutdown:
    case CallKind::kStartSession:
    case CallKind::kEndSession:
    case CallKind::kEnterRealtime:
    case CallKind::kExitRealtime:
    case CallKind::kHold:
    case CallKind::kEnd:
      break;
    case CallKind::kTelemetry: {
      used = deltaDecode(p, size, lastTelemetry_.data(), sizeof(HostTelemetry),
                         reinterpret_cast<uint8_t*>(&call.telemetry));
      if (used == 0) return fail(error, "a telemetry record does not decode");
      std::memcpy(lastTelemetry_.data(), &call.telemetry, sizeof(HostTelemetry));
      break;
    }
    case CallKind::kScoring: {
      uint8_t header[kHeaderBytes];
      used = deltaDecode(p, size, lastHeader_.data(), kHeaderBytes, header);
      if (used == 0) return fail(error, "a scoring header does not decode");
      std::memcpy(lastHeader_.data(), header, kHeaderBytes);
      call.header = HostScoring{};
      unpackHeader(header, call.header);
      if (size - used < 4) return fail(error, "a scoring record is cut off");
      uint32_t textSize = getU32(p + used);
      used += 4;
      if (textSize > kMaxText || textSize > size - used) {
        return fail(error, "a scoring text is longer than its record");
      }
      call.text.assign(reinterpret_cast<const char*>(p + used), textSize);
      used += textSize;
      if (size - used < 4) return fail(error, "a scoring record is cut off");
      uint32_t count = getU32(p + used);
      used += 4;
      if (count > kMaxVehicles) return fail(error, "a scoring record has too many vehicles");
      size_t blob = count * sizeof(HostVehicle);
      lastVehicles_.resize(blob, 0);
      call.vehicles.resize(count);
      if (blob > 0) {
        size_t n = deltaDecode(p + used, size - used, lastVehicles_.data(), blob,
                               reinterpret_cast<uint8_t*>(call.vehicles.data()));
        if (n == 0) return fail(error, "the vehicles of a scoring record do not decode");
        std::memcpy(lastVehicles_.data(), call.vehicles.data(), blob);
        used += n;
      }
      // The plugin reads as many vehicles as the header counts.
      if (call.header.vehicleCount > static_cast<int32_t>(count)) {
        return fail(error, "a scoring header counts " + std::to_string(call.header.vehicleCount) +
                               " vehicles but its record holds " + std::to_string(count));
      }
      break;
    }
    default:
      return fail(error, "unknown record kind " + std::to_string(head[0]));
  }
  if (used != size) return fail(error, "a record is longer than its contents");
  position_ += kRecordHeaderSize + size;
  ++index_;
  if (call.kind == CallKind::kEnd) {
    ended_ = true;
    if (position_ != fileSize_) return fail(error, "data follows the end mark");
    return false;
  }
  return true;
}

bool RecordReader::verify(std::string& error) {
  rewind();
  RecordedCall call;
  while (next(call, error)) {
  }
  bool whole = error.empty();
  rewind();
  return whole;
}

}  // namespace korvanel::tools

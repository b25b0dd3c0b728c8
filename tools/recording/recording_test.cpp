// Recordings: what is written reads back byte for byte, and a file that is
// cut off, foreign or damaged is refused with a message, never a crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/recording/delta_codec.h"
#include "tools/race/race_model.h"
#include "tools/recording/recording.h"
#include "tools/recording/recording_format.h"
#include "tools/race/random.h"
#include "tests/test_support.h"

namespace korvanel::tools {
namespace {

using korvanel::testing::ScratchFolder;

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Records a short race: lifecycle calls around `steps` telemetry records
// and a scoring record every ninth one.
void recordRace(const std::string& path, int steps, std::vector<HostTelemetry>* telemetry,
                std::vector<std::vector<HostVehicle>>* vehicles) {
  RaceOptions o;
  o.cars = 5;
  o.trackLength = 800;
  o.seed = 9;
  RaceModel model(o);
  RecordWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(path, error)) << error;
  writer.startup(7);
  writer.startSession();
  writer.enterRealtime();
  for (int i = 0; i < steps; ++i) {
    model.step(1.0 / 90);
    HostTelemetry t = model.telemetry(1.0 / 90);
    writer.telemetry(t);
    if (telemetry) telemetry->push_back(t);
    if (i % 9 == 0) {
      const HostScoring& s = model.scoring(true);
      writer.scoring(s);
      const HostVehicle* first = s.vehicles;  // a copy: the field is packed
      if (vehicles) vehicles->emplace_back(first, first + s.vehicleCount);
    }
  }
  writer.hold();
  writer.exitRealtime();
  writer.endSession();
  writer.shutdown();
  ASSERT_TRUE(writer.close(error)) << error;
}

TEST(DeltaCodec, RoundTripsAnyChange) {
  Random random(4);
  for (size_t size : {0u, 1u, 3u, 4u, 5u, 64u, 1888u, 70000u, 140000u}) {
    std::vector<uint8_t> previous(size), data(size), decoded(size);
    for (auto& b : previous) b = static_cast<uint8_t>(random.below(256));
    for (int pattern = 0; pattern < 4; ++pattern) {
      for (size_t i = 0; i < size; ++i) {
        bool change = pattern == 1 || (pattern == 2 && random.unit() < 0.1) ||
                      (pattern == 3 && (i / 7) % 3 == 0);
        data[i] = change ? static_cast<uint8_t>(previous[i] + 1 + random.below(255)) : previous[i];
      }
      std::vector<uint8_t> encoded;
      deltaEncode(data.data(), previous.data(), size, encoded);
      ASSERT_EQ(encoded.size(),
                deltaDecode(encoded.data(), encoded.size(), previous.data(), size, decoded.data()));
      EXPECT_EQ(data, decoded) << "size " << size << " pattern " << pattern;
      if (pattern == 0) {
        EXPECT_LE(encoded.size(), 4 * (size / 65535 + 1));
      }
      // Any shorter input is refused.
      if (!encoded.empty()) {
        EXPECT_EQ(0u, deltaDecode(encoded.data(), encoded.size() - 1, previous.data(), size,
                                  decoded.data()));
      }
    }
  }
}

TEST(Recording, ReadsBackEveryCallUnchanged) {
  ScratchFolder scratch;
  std::vector<HostTelemetry> telemetry;
  std::vector<std::vector<HostVehicle>> vehicles;
  recordRace("race.krec", 400, &telemetry, &vehicles);
  RecordReader reader;
  std::string error;
  ASSERT_TRUE(reader.open("race.krec", error)) << error;
  ASSERT_TRUE(reader.verify(error)) << error;
  RecordedCall call;
  std::vector<CallKind> kinds;
  size_t t = 0, s = 0;
  double lastWall = 0;
  while (reader.next(call, error)) {
    kinds.push_back(call.kind);
    EXPECT_GE(call.wallSeconds, lastWall);
    lastWall = call.wallSeconds;
    if (call.kind == CallKind::kStartup) {
      EXPECT_EQ(7, call.startupValue);
    }
    if (call.kind == CallKind::kTelemetry) {
      ASSERT_LT(t, telemetry.size());
      EXPECT_EQ(0, std::memcmp(&telemetry[t++], &call.telemetry, sizeof(HostTelemetry)));
    }
    if (call.kind == CallKind::kScoring) {
      ASSERT_LT(s, vehicles.size());
      const HostScoring& record = call.scoring();
      EXPECT_STREQ("Korvanel Ring", record.trackName);
      const char* text = record.hostText;  // a copy: the field is packed
      EXPECT_STREQ("Korvanel substitute host: 5 cars, seed 9", text);
      ASSERT_EQ(5, record.vehicleCount);
      EXPECT_EQ(0, std::memcmp(vehicles[s++].data(), record.vehicles, 5 * sizeof(HostVehicle)));
    }
  }
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(telemetry.size(), t);
  EXPECT_EQ(vehicles.size(), s);
  ASSERT_GE(kinds.size(), 7u);
  EXPECT_EQ(CallKind::kStartup, kinds[0]);
  EXPECT_EQ(CallKind::kStartSession, kinds[1]);
  EXPECT_EQ(CallKind::kShutdown, kinds.back());
  // Compact: far less than the records' own size.
  EXPECT_LT(readAll("race.krec").size(), telemetry.size() * sizeof(HostTelemetry) / 5);
}

// A recording made by hand: the file header, then records of a kind, a
// time and a payload, then the end mark.
class HandMadeRecording {
 public:
  HandMadeRecording() {
    bytes_.insert(bytes_.end(), format::kMagic, format::kMagic + sizeof format::kMagic);
    for (uint32_t v : {kRecordingVersion, uint32_t(format::kFileHeaderSize),
                       uint32_t(sizeof(HostTelemetry)), uint32_t(sizeof(HostVehicle))}) {
      put(v);
    }
  }
  // A scoring record whose header counts `counted` vehicles and that holds `held`.
  void scoring(double time, int32_t counted, uint32_t held) {
    HostScoring header{};
    header.vehicleCount = counted;
    uint8_t packed[format::kHeaderBytes];
    format::packHeader(header, packed);
    std::vector<uint8_t> payload;
    std::vector<uint8_t> zeros(format::kHeaderBytes + held * sizeof(HostVehicle), 0);
    deltaEncode(packed, zeros.data(), format::kHeaderBytes, payload);
    for (uint32_t v : {0u, held}) {  // no text, then the vehicles
      uint8_t b[4];
      format::putU32(b, v);
      payload.insert(payload.end(), b, b + 4);
    }
    std::vector<uint8_t> vehicles(held * sizeof(HostVehicle), 1);
    deltaEncode(vehicles.data(), zeros.data(), vehicles.size(), payload);
    record(CallKind::kScoring, time, payload);
  }
  void record(CallKind kind, double time, const std::vector<uint8_t>& payload) {
    bytes_.push_back(static_cast<uint8_t>(kind));
    put(static_cast<uint32_t>(payload.size()));
    uint8_t t[8];
    std::memcpy(t, &time, 8);
    bytes_.insert(bytes_.end(), t, t + 8);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  }
  // Verifies the finished recording; returns the reader's error.
  std::string verify(bool& damaged) {
    std::vector<uint8_t> whole = bytes_;
    whole.push_back(static_cast<uint8_t>(CallKind::kEnd));
    whole.insert(whole.end(), 12, 0);
    writeAll("hand.krec", whole);
    RecordReader reader;
    std::string error;
    bool ok = reader.open("hand.krec", error) && reader.verify(error);
    damaged = reader.damaged();
    return ok ? "" : error;
  }

 private:
  void put(uint32_t v) {
    uint8_t b[4];
    format::putU32(b, v);
    bytes_.insert(bytes_.end(), b, b + 4);
  }
  std::vector<uint8_t> bytes_;
};

// Counts and times are checked against what the file holds: a header that
// counts more vehicles than its record carries would make the plugin read
// past the array, and a time of 1e12 s would make a replay wait for ever.
TEST(Recording, CountsAndTimesThatTheFileCannotBackAreRefused) {
  ScratchFolder scratch;
  bool damaged = false;
  HandMadeRecording sound;
  sound.scoring(0.5, 2, 2);
  EXPECT_EQ(sound.verify(damaged), "");

  HandMadeRecording overCounted;
  overCounted.scoring(0.5, 3, 2);
  std::string error = overCounted.verify(damaged);
  EXPECT_NE(error.find("counts 3 vehicles but its record holds 2"), std::string::npos) << error;
  EXPECT_TRUE(damaged);

  for (double time : {1e12, -1.0, std::nan("")}) {
    HandMadeRecording absurd;
    absurd.record(CallKind::kShutdown, time, {});
    error = absurd.verify(damaged);
    EXPECT_NE(error.find("is not a time since the recording began"), std::string::npos) << error;
    EXPECT_TRUE(damaged);
  }
}

TEST(Recording, EveryCutOffCopyIsRefused) {
  ScratchFolder scratch;
  recordRace("whole.krec", 60, nullptr, nullptr);
  std::vector<uint8_t> whole = readAll("whole.krec");
  for (size_t size = 0; size < whole.size(); ++size) {
    writeAll("cut.krec", std::vector<uint8_t>(whole.begin(), whole.begin() + size));
    RecordReader reader;
    std::string error;
    bool ok = reader.open("cut.krec", error) && reader.verify(error);
    ASSERT_FALSE(ok) << "a recording cut to " << size << " bytes passed";
    ASSERT_FALSE(error.empty());
    if (size >= format::kFileHeaderSize) {
      bool named = error.find("truncated") != std::string::npos ||
                   error.find("damaged") != std::string::npos;
      EXPECT_TRUE(named) << error;
    }
  }
}

TEST(Recording, ForeignAndOtherVersionFilesAreNamedAsSuch) {
  ScratchFolder scratch;
  scratch.writeFile("text.krec", "[KM]\nsome=1.0\n");
  RecordReader reader;
  std::string error;
  EXPECT_FALSE(reader.open("text.krec", error));
  EXPECT_NE(std::string::npos, error.find("not a Korvanel recording")) << error;
  EXPECT_FALSE(reader.open("missing.krec", error));
  EXPECT_NE(std::string::npos, error.find("cannot open")) << error;

  recordRace("race.krec", 10, nullptr, nullptr);
  std::vector<uint8_t> data = readAll("race.krec");
  data[8] = 9;  // format version
  writeAll("future.krec", data);
  EXPECT_FALSE(reader.open("future.krec", error));
  EXPECT_NE(std::string::npos, error.find("version 9")) << error;

  data = readAll("race.krec");
  data.push_back(0);
  writeAll("tail.krec", data);
  ASSERT_TRUE(reader.open("tail.krec", error)) << error;
  EXPECT_FALSE(reader.verify(error));
  EXPECT_NE(std::string::npos, error.find("follows the end mark")) << error;
}

TEST(Recording, DamagedBytesNeverCrashTheReader) {
  ScratchFolder scratch;
  recordRace("race.krec", 120, nullptr, nullptr);
  std::vector<uint8_t> whole = readAll("race.krec");
  Random random(12);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> data = whole;
    for (int k = 0; k < 3; ++k) {
      size_t at = format::kFileHeaderSize + static_cast<size_t>(random.below(static_cast<int>(
                                                data.size() - format::kFileHeaderSize)));
      data[at] = static_cast<uint8_t>(random.below(256));
    }
    writeAll("bad.krec", data);
    RecordReader reader;
    std::string error;
    ASSERT_TRUE(reader.open("bad.krec", error));
    RecordedCall call;
    while (reader.next(call, error)) {
      if (call.kind == CallKind::kScoring) call.scoring();
    }
    if (!error.empty()) ++refused;
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace korvanel::tools

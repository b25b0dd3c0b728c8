// Recordings: what is written reads back byte for byte, and a file that is
// cut off, foreign or damaged is refused with a message, never a crash.
#include <gtest/gtest.h>

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
      size_t at = format::kFileHeaderSize +
                  static_cast<size_t>(random.below(static_cast<int>(data.size() - format::kFileHeaderSize)));
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

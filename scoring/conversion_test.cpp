// Header copy and per-vehicle conversion of the scoring block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "scoring/scoring_test_support.h"

namespace korvanel {
namespace {

using testing::ScoringRig;

const unsigned char* bytesOf(const ScoringInfoV2& block) {
  return reinterpret_cast<const unsigned char*>(&block);
}

template <typename T>
T readAt(const ScoringInfoV2& block, size_t offset) {
  T value;
  std::memcpy(&value, bytesOf(block) + offset, sizeof value);
  return value;
}

void fillPattern(uint8_t* bytes, size_t size, uint8_t seed) {
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
}

bool holdsPattern(const ScoringInfoV2& block, size_t offset, size_t size, uint8_t seed) {
  for (size_t i = 0; i < size; ++i) {
    if (bytesOf(block)[offset + i] != static_cast<uint8_t>(seed + i * 7)) return false;
  }
  return true;
}

bool untouched(const ScoringInfoV2& block, size_t offset, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (bytesOf(block)[offset + i] != 0xAB) return false;
  }
  return true;
}

TEST(ScoringHeader, EveryFieldLandsAtItsPublishedOffset) {
  ScoringRig rig;
  std::memset(rig.block.get(), 0xAB, sizeof(ScoringInfoV2));
  HostScoring& h = rig.host.header();
  std::strcpy(h.trackName, "Lakeside");
  h.session = 12;
  h.currentTime = 345.25;
  h.passthrough76 = -7.5;
  h.passthrough84 = 0x11223344;
  h.lapLength = 4321.5;
  h.phase = 6;
  h.passthrough105 = -5;
  h.passthrough106 = -1234;
  h.passthrough108 = 8;
  h.passthrough109 = -9;
  h.passthrough110 = 10;
  h.realtimeFlag = 1;
  fillPattern(h.passthrough112, 32, 1);
  fillPattern(h.passthrough144, 64, 2);
  h.passthrough208 = 1.5;
  h.passthrough216 = 2.5;
  h.passthrough224 = 3.5;
  h.passthrough232 = 4.5;
  fillPattern(h.passthrough240, 24, 3);
  h.passthrough264 = 5.5;
  h.passthrough272 = 6.5;
  fillPattern(h.passthrough280, 256, 4);
  rig.host.setHostText("race control");
  rig.fill();

  const ScoringInfoV2& b = *rig.block;
  EXPECT_STREQ(reinterpret_cast<const char*>(bytesOf(b)), "Lakeside");
  EXPECT_EQ(readAt<int32_t>(b, 64), 12);
  EXPECT_EQ(readAt<double>(b, 72), 345.25);
  EXPECT_EQ(readAt<double>(b, 80), -7.5);
  EXPECT_EQ(readAt<int32_t>(b, 88), 0x11223344);
  EXPECT_EQ(readAt<double>(b, 96), 4321.5);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytesOf(b) + 104), "race control");
  EXPECT_EQ(readAt<int32_t>(b, 2104), 0);
  EXPECT_EQ(readAt<uint8_t>(b, 2108), 6);
  EXPECT_EQ(readAt<int8_t>(b, 2109), -5);
  EXPECT_EQ(readAt<int16_t>(b, 2110), -1234);
  EXPECT_EQ(readAt<int8_t>(b, 2112), 8);
  EXPECT_EQ(readAt<int8_t>(b, 2113), -9);
  EXPECT_EQ(readAt<int8_t>(b, 2114), 10);
  EXPECT_EQ(readAt<uint8_t>(b, 2115), 1);
  EXPECT_TRUE(holdsPattern(b, 2116, 32, 1));
  EXPECT_TRUE(holdsPattern(b, 2148, 64, 2));
  EXPECT_EQ(readAt<double>(b, 2216), 1.5);
  EXPECT_EQ(readAt<double>(b, 2224), 2.5);
  EXPECT_EQ(readAt<double>(b, 2232), 3.5);
  EXPECT_EQ(readAt<double>(b, 2240), 4.5);
  EXPECT_TRUE(holdsPattern(b, 2248, 24, 3));
  EXPECT_EQ(readAt<double>(b, 2272), 5.5);
  EXPECT_EQ(readAt<double>(b, 2280), 6.5);
  EXPECT_TRUE(holdsPattern(b, 2288, 256, 4));

  // Padding is never written, and with no vehicles no entry is either.
  EXPECT_TRUE(untouched(b, 68, 4));
  EXPECT_TRUE(untouched(b, 92, 4));
  EXPECT_TRUE(untouched(b, 2212, 4));
  EXPECT_TRUE(untouched(b, 2544, sizeof(VehicleInfoV2) * kMaxVehicles));
}

TEST(ScoringHeader, HostTextIsCutAtItsFirst1999Characters) {
  ScoringRig rig;
  std::string text(3000, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  rig.host.setHostText(text);
  rig.fill();
  EXPECT_EQ(std::string(rig.block->hostText), text.substr(0, 1999));
  EXPECT_EQ(rig.block->hostText[1999], 0);

  // A shorter text afterwards leaves nothing of the longer one behind it.
  rig.host.setHostText("short");
  rig.fill();
  EXPECT_STREQ(rig.block->hostText, "short");
  for (size_t i = 5; i < sizeof(ScoringInfoV2::hostText); ++i)
    ASSERT_EQ(rig.block->hostText[i], 0) << i;
}

TEST(ScoringHeader, MissingHostTextIsEmpty) {
  ScoringRig rig;
  rig.host.setHostText("old text");
  rig.fill();
  HostScoring record = *rig.host.record();
  record.hostText = nullptr;
  rig.fill(record);
  EXPECT_STREQ(rig.block->hostText, "");
  EXPECT_EQ(rig.block->hostText[1], 0);
}

TEST(ScoringHeader, UnterminatedTrackNameIsCutAndTerminated) {
  ScoringRig rig;
  std::memset(rig.host.header().trackName, 'T', 64);
  rig.fill();
  EXPECT_EQ(std::string(rig.block->trackName), std::string(63, 'T'));
}

TEST(ScoringHeader, NoVehiclesStillWritesTheTail) {
  ScoringRig rig;
  std::strcpy(rig.entry(0).host.driverName, "kept");
  rig.block->playerIndex = 3;
  rig.block->noClassGroup = 0;
  for (int32_t count : {0, -4}) {
    HostScoring record = *rig.host.record();
    record.vehicleCount = count;
    // Reading this address would fault: it must not be read.
    record.vehicles = reinterpret_cast<const HostVehicle*>(uintptr_t{16});
    rig.update(record);
    EXPECT_EQ(rig.block->vehicleCount, count);
    EXPECT_STREQ(rig.entry(0).host.driverName, "kept");
    EXPECT_EQ(rig.block->playerIndex, -1);
    EXPECT_EQ(rig.block->playerPlace, 1000);
    EXPECT_EQ(rig.block->playerClassPosition, 1000);
    EXPECT_EQ(rig.block->classLeaderIndex, -1);
    EXPECT_EQ(rig.block->noClassGroup, 1);
  }
}

TEST(VehicleConversion, HostRecordIsCopiedByteForByte) {
  ScoringRig rig;
  HostVehicle& v = rig.host.addVehicle("Ann", 1);
  auto* raw = reinterpret_cast<uint8_t*>(&v);
  // Arbitrary bytes everywhere but in the three names, which stay terminated.
  for (size_t i = 0; i < sizeof(HostVehicle); ++i) raw[i] = static_cast<uint8_t>(i * 13 + 5);
  std::strcpy(v.driverName, "Ann");
  std::strcpy(v.vehicleName, "Roadster");
  std::strcpy(v.vehicleClass, "GT3");
  v.place = 1;
  rig.fill();
  EXPECT_EQ(std::memcmp(&rig.entry(0).host, &v, sizeof(HostVehicle)), 0);
  EXPECT_EQ(std::memcmp(rig.entry(0).estimatedPosition, v.position, sizeof v.position), 0);
}

TEST(VehicleConversion, NamesGetUpperCaseCopies) {
  ScoringRig rig;
  rig.host.addVehicle("jane d\xe4 o'neil", 1, "gt3 Pro-am");
  rig.fill();
  // Only a to z change; other bytes pass unchanged.
  EXPECT_STREQ(rig.entry(0).driverNameUpper, "JANE D\xe4 O'NEIL");
  EXPECT_STREQ(rig.entry(0).vehicleClassUpper, "GT3 PRO-AM");
}

TEST(VehicleConversion, ShortNameLeavesNothingOfALongerOne) {
  ScoringRig rig;
  rig.host.addVehicle("Sixlet", 1, "LongClassName");
  rig.fill();
  rig.host.vehicles()[0] = HostVehicle{};
  std::strcpy(rig.host.vehicles()[0].driverName, "Al");
  std::strcpy(rig.host.vehicles()[0].vehicleClass, "F");
  rig.host.vehicles()[0].place = 1;
  rig.fill();
  const VehicleInfoV2& e = rig.entry(0);
  EXPECT_STREQ(e.driverNameUpper, "AL");
  EXPECT_STREQ(e.vehicleClassUpper, "F");
  for (size_t i = 2; i < sizeof e.driverNameUpper; ++i) ASSERT_EQ(e.driverNameUpper[i], 0);
  for (size_t i = 1; i < sizeof e.vehicleClassUpper; ++i) ASSERT_EQ(e.vehicleClassUpper[i], 0);
}

TEST(VehicleConversion, UnterminatedNamesAreCutAtTheirFieldEnd) {
  ScoringRig rig;
  HostVehicle& v = rig.host.addVehicle("x", 1);
  std::memset(v.driverName, 'd', sizeof v.driverName);
  std::memset(v.vehicleName, 'v', sizeof v.vehicleName);
  std::memset(v.vehicleClass, 'c', sizeof v.vehicleClass);
  rig.fill();
  const VehicleInfoV2& e = rig.entry(0);
  EXPECT_EQ(std::string(e.host.driverName), std::string(31, 'd'));
  EXPECT_EQ(std::string(e.host.vehicleName), std::string(63, 'v'));
  EXPECT_EQ(std::string(e.host.vehicleClass), std::string(31, 'c'));
  EXPECT_EQ(std::string(e.driverNameUpper), std::string(31, 'D'));
  EXPECT_EQ(std::string(e.vehicleClassUpper), std::string(31, 'C'));
  EXPECT_EQ(e.host.place, 1);  // the field after the class name is intact
}

TEST(VehicleConversion, ResetsGroupFieldsAndCopiesThePosition) {
  ScoringRig rig;
  rig.entry(0).inClassGroup = 1;
  rig.entry(0).classPosition = 4;
  HostVehicle& v = rig.host.addVehicle("Ann", 1);
  v.position[0] = 10.0;
  v.position[1] = -2.0;
  v.position[2] = 33.5;
  rig.fill();
  EXPECT_EQ(rig.entry(0).inClassGroup, 0);
  EXPECT_EQ(rig.entry(0).classPosition, 0);
  double estimated[3];  // packed at 4 bytes: read by value, not by reference
  std::memcpy(estimated, rig.entry(0).estimatedPosition, sizeof estimated);
  EXPECT_EQ(estimated[0], 10.0);
  EXPECT_EQ(estimated[1], -2.0);
  EXPECT_EQ(estimated[2], 33.5);
}

float progressOf(double lapLength, int16_t laps, double distance) {
  ScoringRig rig;
  rig.host.header().lapLength = lapLength;
  HostVehicle& v = rig.host.addVehicle("Ann", 1);
  v.lapsCompleted = laps;
  v.lapDistance = distance;
  rig.fill();
  return rig.entry(0).lapProgress;
}

TEST(VehicleConversion, LapProgress) {
  EXPECT_EQ(progressOf(5000.0, 3, 2500.0), 3.5f);
  EXPECT_EQ(progressOf(5000.0, 3, -12.5), 3.0f);   // before the line counts as none
  EXPECT_EQ(progressOf(0.0, 3, 2500.0), 3.0f);     // no lap length: whole laps
  EXPECT_EQ(progressOf(5000.0, 3, 6000.0), 4.2f);  // no upper bound
  // Rounded to float once, from the double sum: rounding the fraction first
  // would give 1.09458327f instead.
  EXPECT_EQ(progressOf(3000.0, 1, 283.75), 1.0945833921432495f);
}

TEST(VehicleConversion, NonFiniteInputsFlowThrough) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(std::isnan(progressOf(5000.0, 2, nan)));
  EXPECT_TRUE(std::isnan(progressOf(nan, 2, 100.0)));
  EXPECT_EQ(progressOf(inf, 2, 100.0), 2.0f);
  EXPECT_TRUE(std::isinf(progressOf(5000.0, 2, inf)));
  EXPECT_EQ(progressOf(5000.0, 2, -inf), 2.0f);
}

}  // namespace
}  // namespace korvanel

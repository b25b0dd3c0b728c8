// Race order of the block's entries, including hosts that send more cars
// than the block holds.
#include "scoring/scoring_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "scoring/scoring_test_support.h"

namespace korvanel {
namespace {

using testing::ScoringRig;

std::string driverAt(ScoringRig& rig, int i) { return rig.entry(i).host.driverName; }

TEST(PlaceOrder, EntriesFollowPlaceNotHostOrder) {
  ScoringRig rig;
  rig.host.addVehicle("C", 3);
  rig.host.addVehicle("A", 1);
  rig.host.addVehicle("B", 2);
  rig.fill();
  EXPECT_EQ(driverAt(rig, 0), "A");
  EXPECT_EQ(driverAt(rig, 1), "B");
  EXPECT_EQ(driverAt(rig, 2), "C");
}

TEST(PlaceOrder, PlacesCompareAsUnsignedBytes) {
  ScoringRig rig;
  rig.host.addVehicle("P200", 200);
  rig.host.addVehicle("P1", 1);
  rig.host.addVehicle("P255", 255);
  rig.host.addVehicle("P0", 0);
  rig.host.addVehicle("P128", 128);
  rig.fill();
  const char* expected[] = {"P0", "P1", "P128", "P200", "P255"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(driverAt(rig, i), expected[i]) << i;
}

TEST(PlaceOrder, OneVehicleLandsInEntryZero) {
  ScoringRig rig;
  std::strcpy(rig.entry(1).host.driverName, "stale");
  rig.host.addVehicle("Solo", 7);
  rig.fill();
  EXPECT_EQ(driverAt(rig, 0), "Solo");
  EXPECT_EQ(driverAt(rig, 1), "stale");  // outside the count, left alone
  EXPECT_EQ(rig.block->vehicleCount, 1);
}

TEST(PlaceOrder, EqualPlacesKeepHostOrder) {
  ScoringRig rig;
  rig.host.addVehicle("second-a", 2);
  rig.host.addVehicle("first", 1);
  rig.host.addVehicle("second-b", 2);
  rig.host.addVehicle("second-c", 2);
  rig.fill();
  EXPECT_EQ(driverAt(rig, 0), "first");
  EXPECT_EQ(driverAt(rig, 1), "second-a");
  EXPECT_EQ(driverAt(rig, 2), "second-b");
  EXPECT_EQ(driverAt(rig, 3), "second-c");
}

TEST(PlaceOrder, LeaderBeyondHostIndex255IsKept) {
  // More cars than entries, the leader last: host index 299, which a
  // one-byte key would turn into 43.
  ScoringRig rig;
  for (int k = 0; k < 300; ++k) rig.host.addVehicle("field", 50);
  std::strcpy(rig.host.vehicles()[299].driverName, "leader");
  rig.host.vehicles()[299].place = 1;
  std::strcpy(rig.host.vehicles()[43].driverName, "index43");
  rig.fill();
  EXPECT_EQ(rig.block->vehicleCount, 300);  // the host's number, not the kept one
  EXPECT_EQ(driverAt(rig, 0), "leader");
  EXPECT_EQ(driverAt(rig, 1), "field");
}

// The counting sort against a plain stable sort of (place, host index),
// over inputs with many ties and more cars than the block holds.
TEST(PlaceOrder, MatchesStableSortByPlaceOnRandomFields) {
  std::mt19937 random(1234);
  for (int count : {0, 1, 2, 149, 150, 151, 400, 1000}) {
    std::vector<HostVehicle> vehicles(static_cast<size_t>(count));
    std::uniform_int_distribution<int> place(0, count < 40 ? 255 : 20);
    for (auto& v : vehicles) v.place = static_cast<uint8_t>(place(random));

    std::vector<int> reference(vehicles.size());
    std::iota(reference.begin(), reference.end(), 0);
    std::stable_sort(reference.begin(), reference.end(),
                     [&](int a, int b) { return vehicles[a].place < vehicles[b].place; });

    HostScoring scoring{};
    scoring.vehicles = vehicles.data();
    scoring.vehicleCount = count;
    auto order = std::make_unique<RaceOrder>();
    orderRace(scoring, nullptr, *order);
    ASSERT_EQ(order->count, std::min(count, kMaxVehicles)) << count;
    for (int i = 0; i < order->count; ++i) {
      ASSERT_EQ(order->hostIndex[i], reference[i]) << "count " << count << " entry " << i;
    }
  }
}

TEST(PlaceOrder, NoVehiclesMeansTheArrayIsNeverRead) {
  // An address that faults when read: a count of 0 or less must not touch it.
  auto order = std::make_unique<RaceOrder>();
  for (auto [vehicles, count] : {std::pair{reinterpret_cast<HostVehicle*>(uintptr_t{16}), 0},
                                 {reinterpret_cast<HostVehicle*>(uintptr_t{16}), -3},
                                 {static_cast<HostVehicle*>(nullptr), 5}}) {
    HostScoring scoring{};
    scoring.vehicles = vehicles;
    scoring.vehicleCount = count;
    orderRace(scoring, nullptr, *order);
    EXPECT_EQ(order->count, 0) << count;
  }
}

}  // namespace
}  // namespace korvanel

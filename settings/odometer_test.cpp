// The odometer store on its own: keys, loading once per session, adding,
// and saving into a file that keeps everything else it holds.
#include "settings/odometer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::ScratchFolder;

constexpr char kFile[] = "Plugins/KORVANEL/KM.txt";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The file as a save without other keys leaves it.
std::string kmFile(const std::string& vehicleTotal, const std::string& trackTotal) {
  return "[KM]\nFormula_Car_2=" + vehicleTotal +
         "\n[KM_TRACKS]\nFormula_Car_2[Big_Oval]=" + trackTotal + "\n";
}

// Names arrive in the plugin's 64-byte fields, which select may change.
struct Names {
  Names(const char* vehicleName, const char* trackName) {
    std::snprintf(vehicle, sizeof vehicle, "%s", vehicleName);
    std::snprintf(track, sizeof track, "%s", trackName);
  }
  char vehicle[64];
  char track[64];
};

class OdometerTest : public ::testing::Test {
 protected:
  std::string file() const { return folder.readFile(kFile); }
  bool fileExists() const { return std::filesystem::exists(folder.path() / kFile); }
  void writeFile(const std::string& text) const { folder.writeFile(kFile, text); }
  int filesInFolder() const {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder.pluginFolder())) {
      (void)e;
      ++n;
    }
    return n;
  }
  void select(const char* vehicle, const char* track) {
    Names names(vehicle, track);
    odometer.select(names.vehicle, names.track);
  }
  // A later session: everything from the file again.
  Odometer reload(const char* vehicle = "Formula Car 2", const char* track = "Big Oval") {
    Odometer next;
    Names names(vehicle, track);
    next.select(names.vehicle, names.track);
    return next;
  }

  ScratchFolder folder;
  Odometer odometer;
};

TEST_F(OdometerTest, StartsEmptyAndResetEmptiesItAgain) {
  EXPECT_STREQ(odometer.filePath, "PLUGINS\\KORVANEL\\KM.txt");
  select("Formula Car 2", "Big Oval");
  odometer.add(5.0);
  odometer.reset();
  EXPECT_STREQ(odometer.filePath, "PLUGINS\\KORVANEL\\KM.txt");
  EXPECT_STREQ(odometer.vehicleKey, "");
  EXPECT_STREQ(odometer.trackKey, "");
  EXPECT_EQ(odometer.vehicleTotal, 0.0);
  EXPECT_EQ(odometer.trackTotal, 0.0);
  EXPECT_FALSE(odometer.loaded);
  EXPECT_FALSE(odometer.dirty);
}

TEST_F(OdometerTest, FirstSaveWithoutAFileWritesBothKeysWithSixDecimals) {
  Names names("Formula Car 2", "Big Oval");
  odometer.select(names.vehicle, names.track);
  EXPECT_STREQ(names.vehicle, "Formula_Car_2");  // changed in place
  EXPECT_STREQ(names.track, "Big_Oval");
  EXPECT_STREQ(odometer.vehicleKey, "Formula_Car_2");
  EXPECT_STREQ(odometer.trackKey, "Big_Oval");
  EXPECT_TRUE(odometer.loaded);
  EXPECT_EQ(odometer.vehicleTotal, 0.0);

  odometer.add(1000.0);
  odometer.add(234.5);
  odometer.save();
  EXPECT_FALSE(odometer.dirty);
  // "PLUGINS" finds the folder spelt "Plugins"; nothing else is left there.
  EXPECT_EQ(file(), kmFile("1234.500000", "1234.500000"));
  EXPECT_EQ(filesInFolder(), 1);
}

TEST_F(OdometerTest, TotalsAboveFloatPrecisionKeepTheirFraction) {
  writeFile(kmFile("16777216.000000", "3.5"));
  select("Formula Car 2", "Big Oval");
  EXPECT_EQ(odometer.vehicleTotal, 16777216.0);  // an old file reads as before
  EXPECT_EQ(odometer.trackTotal, 3.5);
  odometer.add(1.25);
  odometer.add(123456789.0);
  odometer.save();
  EXPECT_EQ(file(), kmFile("140234006.250000", "123456793.750000"));
  Odometer next = reload();
  EXPECT_EQ(next.vehicleTotal, 140234006.25);
  EXPECT_EQ(next.trackTotal, 123456793.75);
}

TEST_F(OdometerTest, AnEmptyNameLoadsNothingAndSavesNothing) {
  writeFile("[KM]\nFormula_Car_2=100.000000\n");
  for (const char* track : {"", "Big Oval"}) {
    Names names(track[0] ? "" : "Formula Car 2", track);
    odometer.select(names.vehicle, names.track);
    EXPECT_FALSE(odometer.loaded);
    EXPECT_STREQ(names.vehicle, track[0] ? "" : "Formula Car 2");  // left alone
    EXPECT_STREQ(names.track, track);
  }
  odometer.select(nullptr, nullptr);
  EXPECT_FALSE(odometer.loaded);

  odometer.add(12.5);
  EXPECT_EQ(odometer.vehicleTotal, 12.5);
  EXPECT_EQ(odometer.trackTotal, 12.5);
  odometer.save();
  EXPECT_EQ(file(), "[KM]\nFormula_Car_2=100.000000\n");

  std::filesystem::remove(folder.path() / kFile);
  odometer.save();
  EXPECT_FALSE(fileExists());
}

TEST_F(OdometerTest, DistanceBeforeTheFirstSelectIsDiscarded) {
  writeFile(kmFile("100.000000", "40.000000"));
  odometer.add(50.0);
  EXPECT_TRUE(odometer.dirty);
  select("Formula Car 2", "Big Oval");
  EXPECT_EQ(odometer.vehicleTotal, 100.0);
  EXPECT_EQ(odometer.trackTotal, 40.0);
  EXPECT_FALSE(odometer.dirty);
}

TEST_F(OdometerTest, KeysStayUntilResetWhateverIsSelectedLater) {
  select("Formula Car 2", "Big Oval");
  odometer.add(1.0);
  select("Other Car", "Other Track");
  EXPECT_STREQ(odometer.vehicleKey, "Formula_Car_2");
  EXPECT_EQ(odometer.vehicleTotal, 1.0);
  odometer.reset();
  select("Other Car", "Other Track");
  EXPECT_STREQ(odometer.vehicleKey, "Other_Car");
  EXPECT_STREQ(odometer.trackKey, "Other_Track");
}

TEST_F(OdometerTest, SavingTwiceWritesOnce) {
  select("Formula Car 2", "Big Oval");
  odometer.add(7.0);
  odometer.save();
  ASSERT_TRUE(fileExists());
  // Had the second save written, the file would be back.
  std::filesystem::remove(folder.path() / kFile);
  odometer.save();
  EXPECT_FALSE(fileExists());
  // A zero step still counts as a change, as a distance reset relies on.
  odometer.add(0.0);
  odometer.save();
  EXPECT_EQ(file(), kmFile("7.000000", "7.000000"));
}

TEST_F(OdometerTest, ASecondSessionContinuesFromTheStoredTotals) {
  select("Formula Car 2", "Big Oval");
  odometer.add(300.0);
  odometer.save();
  odometer.reset();
  select("Formula Car 2", "Small Oval");
  EXPECT_EQ(odometer.vehicleTotal, 300.0);  // the vehicle's total is per vehicle
  EXPECT_EQ(odometer.trackTotal, 0.0);      // but this track is new
  odometer.add(20.0);
  odometer.save();
  Odometer next = reload();
  EXPECT_EQ(next.vehicleTotal, 320.0);
  EXPECT_EQ(next.trackTotal, 300.0);
  EXPECT_EQ(reload("Formula Car 2", "Small Oval").trackTotal, 20.0);
}

TEST_F(OdometerTest, ASaveKeepsOtherKeysSectionsCommentsAndOrder) {
  const std::string before =
      "; distances driven\r\n"
      "[KM]\r\n"
      "Zeta_Car=5.000000\r\n"
      "formula_car_2=100.000000\r\n"
      "Alpha_Car=6.000000\r\n"
      "\r\n"
      "[NOTES]\r\n"
      "Owner=someone ; really\r\n"
      "[KM_TRACKS]\r\n"
      "Zeta_Car[Big_Oval]=1.000000\r\n";
  writeFile(before);
  select("Formula Car 2", "Big Oval");
  EXPECT_EQ(odometer.vehicleTotal, 100.0);  // keys ignore case
  odometer.add(0.5);
  odometer.save();
  EXPECT_EQ(file(),
            "; distances driven\r\n"
            "[KM]\r\n"
            "Zeta_Car=5.000000\r\n"
            "Formula_Car_2=100.500000\r\n"
            "Alpha_Car=6.000000\r\n"
            "\r\n"
            "[NOTES]\r\n"
            "Owner=someone ; really\r\n"
            "[KM_TRACKS]\r\n"
            "Zeta_Car[Big_Oval]=1.000000\r\n"
            "Formula_Car_2[Big_Oval]=0.500000\r\n");
}

TEST_F(OdometerTest, AnInterruptedSaveLeavesTheOldFileWholeAndTriesAgain) {
  const std::string before = kmFile("10.000000", "20.000000");
  writeFile(before);
  select("Formula Car 2", "Big Oval");
  for (int step = 1; step <= 5; ++step) {
    odometer.add(1.0);
    platform::failFileStepForTesting(step);
    odometer.save();
    platform::failFileStepForTesting(0);
    EXPECT_EQ(file(), before) << "step " << step;
    EXPECT_EQ(filesInFolder(), 1) << "step " << step;  // no temporary file
    EXPECT_TRUE(odometer.dirty) << "step " << step;
  }
  odometer.save();
  EXPECT_EQ(file(), kmFile("15.000000", "25.000000"));
  EXPECT_FALSE(odometer.dirty);
}

TEST_F(OdometerTest, TotalsAFailedSaveKeptMeetTheFileAsASaveWould) {
  writeFile(kmFile("100.000000", "40.000000"));
  select("Formula Car 2", "Big Oval");
  odometer.add(50.0);
  platform::failFileStepForTesting(2);
  odometer.save();
  platform::failFileStepForTesting(0);
  odometer.reset();
  // Meanwhile another host added 20 to the vehicle, and the track's key was
  // lost: the distance kept goes on top of the one, the whole total back.
  writeFile("[KM]\nFormula_Car_2=120.000000\n");
  select("Formula Car 2", "Big Oval");
  EXPECT_EQ(odometer.vehicleTotal, 170.0);
  EXPECT_EQ(odometer.trackTotal, 90.0);
}

TEST_F(OdometerTest, ADamagedValueReadsAsZeroForItsKeyAlone) {
  const char* damaged[] = {"abc", "nan", "inf", "-inf", "1e999", "0x10", ""};
  for (const char* value : damaged) {
    writeFile(std::string("[KM]\nFormula_Car_2=") + value +
              "\nOther=9.000000\n[KM_TRACKS]\nFormula_Car_2[Big_Oval]=2000.500000\n");
    odometer.reset();
    select("Formula Car 2", "Big Oval");
    EXPECT_EQ(odometer.vehicleTotal, 0.0) << value;
    EXPECT_EQ(odometer.trackTotal, 2000.5) << value;
    odometer.add(1.0);
    odometer.save();
    EXPECT_EQ(file(),
              "[KM]\nFormula_Car_2=1.000000\nOther=9.000000\n[KM_TRACKS]\n"
              "Formula_Car_2[Big_Oval]=2001.500000\n")
        << value;
  }
}

TEST_F(OdometerTest, BadDistancesAndTotalsNeverReachTheFile) {
  select("Formula Car 2", "Big Oval");
  odometer.add(10.0);
  for (double bad : {kNaN, kInf, -kInf, -5.0}) {
    odometer.add(bad);
    EXPECT_EQ(odometer.vehicleTotal, 10.0) << bad;
    EXPECT_EQ(odometer.trackTotal, 10.0) << bad;
    EXPECT_TRUE(odometer.dirty);
  }
  odometer.save();
  EXPECT_EQ(file(), kmFile("10.000000", "10.000000"));

  // A sum that would overflow keeps the last finite total.
  odometer.vehicleTotal = DBL_MAX;
  odometer.add(DBL_MAX);
  EXPECT_EQ(odometer.vehicleTotal, DBL_MAX);
  EXPECT_EQ(odometer.trackTotal, DBL_MAX);

  // A total that is not finite, or too long to read back, is not written;
  // its key keeps the stored value while the other total is saved.
  odometer.vehicleTotal = kNaN;
  odometer.trackTotal = 11.0;
  odometer.save();
  EXPECT_EQ(file(), kmFile("10.000000", "11.000000"));
  // Nothing the file can take is left: no save stays wanted for ever.
  EXPECT_FALSE(odometer.dirty);
  odometer.vehicleTotal = 12.0;
  odometer.trackTotal = 1e300;
  odometer.add(0.0);
  odometer.save();
  EXPECT_EQ(file(), kmFile("12.000000", "11.000000"));
  EXPECT_FALSE(odometer.dirty);
}

TEST_F(OdometerTest, LongNamesUseTheir63CharactersAndFitTheTrackKey) {
  char vehicle[200];
  char track[200];
  std::memset(vehicle, 'V', sizeof vehicle - 1);
  vehicle[sizeof vehicle - 1] = 0;
  std::memset(track, 'T', sizeof track - 1);
  track[sizeof track - 1] = 0;
  vehicle[10] = ' ';
  vehicle[100] = ' ';  // past the 63 characters: not looked at
  odometer.select(vehicle, track);
  EXPECT_EQ(vehicle[10], '_');
  EXPECT_EQ(vehicle[100], ' ');
  std::string v63 = std::string(10, 'V') + "_" + std::string(52, 'V');
  std::string t63(63, 'T');
  EXPECT_EQ(std::string(odometer.vehicleKey), v63);
  EXPECT_EQ(std::string(odometer.trackKey), t63);
  odometer.add(3.0);
  odometer.save();
  EXPECT_EQ(file(), "[KM]\n" + v63 + "=3.000000\n[KM_TRACKS]\n" + v63 + "[" + t63 + "]=3.000000\n");
  Odometer next = reload(v63.c_str(), t63.c_str());
  EXPECT_EQ(next.trackTotal, 3.0);
}

// Names that would not come back as INI keys used to read as 0 and be
// appended anew at every save; such characters become underscores.
TEST_F(OdometerTest, AwkwardNamesMakeKeysThatReadBackAndDoNotPileUp) {
  struct Case {
    const char* vehicle;
    const char* track;
    const char* vehicleKey;
    const char* trackKey;
  } cases[] = {
      {"#24 GT Car", "Big Oval", "#24_GT_Car", "Big_Oval"},
      {"Car=X", "Track=Y", "Car_X", "Track_Y"},
      {"[GT] Car", "[Night]", "_GT]_Car", "_Night]"},
      {";Car", "Oval\tEast", "_Car", "Oval_East"},
      {"Car\r", "Oval\n", "Car_", "Oval_"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(folder.path() / kFile);
    odometer.reset();
    select(c.vehicle, c.track);
    EXPECT_STREQ(odometer.vehicleKey, c.vehicleKey) << c.vehicle;
    EXPECT_STREQ(odometer.trackKey, c.trackKey) << c.vehicle;
    odometer.add(2.0);
    odometer.save();
    std::string once = file();
    Odometer next = reload(c.vehicle, c.track);
    EXPECT_EQ(next.vehicleTotal, 2.0) << c.vehicle;
    EXPECT_EQ(next.trackTotal, 2.0) << c.vehicle;
    next.add(0.0);
    next.save();
    EXPECT_EQ(file().size(), once.size()) << c.vehicle;
  }
}

}  // namespace
}  // namespace korvanel

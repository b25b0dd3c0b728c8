// The profile helpers: number conversion both ways, whole-file replacement
// of one or several keys, and what is refused rather than written.
#include "settings/profile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::ScratchFolder;

constexpr char kPath[] = "PLUGINS\\KORVANEL\\KM.txt";
constexpr char kFile[] = "Plugins/KORVANEL/KM.txt";

std::string format(double value) {
  char text[kProfileBufferSize];
  return formatProfileFloat(value, text, sizeof text) ? std::string(text) : "<refused>";
}

bool save(const ProfileEntry* entries, size_t count) {
  return saveProfileStrings(kPath, entries, count).written;
}

int filesIn(const std::filesystem::path& folder) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(ProfileTest, ParsesTheLongestLeadingDecimalNumber) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"7.5x", 7.5},
      {"abc", 0.0},
      {"  -3.25", -3.25},
      {".5", 0.5},
      {"5.", 5.0},
      {"+2", 2.0},
      {"1e3", 1000.0},
      {"2.5E-1z", 0.25},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"-", 0.0},
      {".", 0.0},
      {"", 0.0},
      {"0x10", 0.0},
      {"inf", 0.0},
      {"nan", 0.0},
      {"16777217.250000", 16777217.25},
      {"1.2.3", 1.2},
      {"12 34", 12.0},
  };
  for (const Case& c : cases) EXPECT_EQ(parseProfileNumber(c.text), c.expected) << c.text;
  EXPECT_TRUE(std::isinf(parseProfileNumber("1e999")));
}

TEST(ProfileTest, FormatsSixDecimalsAndRefusesWhatCannotComeBack) {
  EXPECT_EQ(format(1234.5), "1234.500000");
  EXPECT_EQ(format(0.0), "0.000000");
  EXPECT_EQ(format(-0.5), "-0.500000");
  EXPECT_EQ(format(16777217.25), "16777217.250000");
  EXPECT_EQ(format(std::numeric_limits<double>::quiet_NaN()), "<refused>");
  EXPECT_EQ(format(std::numeric_limits<double>::infinity()), "<refused>");
  EXPECT_EQ(format(-std::numeric_limits<double>::infinity()), "<refused>");
  // 1e252 needs 253 digits and six decimals: 260 characters, one more than a
  // reader takes back, so it would come back a thousand times smaller.
  EXPECT_EQ(format(1e252), "<refused>");
  EXPECT_EQ(format(1e251).size(), 259u);
  char small[8];
  EXPECT_FALSE(formatProfileFloat(1234.5, small, sizeof small));
  EXPECT_STREQ(small, "");
}

TEST(ProfileTest, WritesSeveralKeysInOneReplacement) {
  ScratchFolder folder;
  folder.writeFile(kFile, "; mine\n[KM]\nOld=1\n[ZZ]\nKeep=yes\n");
  ProfileEntry entries[] = {{"KM", "Car", "2.000000"}, {"KM_TRACKS", "Car[T]", "3.000000"}};

  // A write cut short at its last step changes neither key.
  platform::failFileStepForTesting(5);
  EXPECT_FALSE(save(entries, 2));
  EXPECT_EQ(folder.readFile(kFile), "; mine\n[KM]\nOld=1\n[ZZ]\nKeep=yes\n");

  EXPECT_TRUE(save(entries, 2));
  EXPECT_EQ(folder.readFile(kFile),
            "; mine\n[KM]\nOld=1\nCar=2.000000\n[ZZ]\nKeep=yes\n[KM_TRACKS]\nCar[T]=3.000000\n");
  EXPECT_EQ(filesIn(folder.pluginFolder()), 1);
}

TEST(ProfileTest, RefusesEntriesThatWouldNotReadBackAndWritesNothing) {
  ScratchFolder folder;
  const std::string before = "[KM]\nA=1.000000\n";
  folder.writeFile(kFile, before);
  ProfileEntry bad[] = {
      {"KM", "B", "1\n[HUD]\nKersTime=0"},
      {"KM", "B", "1\r"},
      {"KM", "Car=X", "1"},
      {"KM", "[GT]", "1"},
      {"KM", ";Car", "1"},
      {"KM", " Car", "1"},
      {"KM", "Car\t", "1"},
      {"KM", "", "1"},
      {"K]M", "Car", "1"},
      {"KM\n", "Car", "1"},
      {"", "Car", "1"},
      {"KM", nullptr, "1"},
  };
  for (const ProfileEntry& entry : bad) {
    ProfileEntry pair[] = {{"KM", "Good", "5"}, entry};
    EXPECT_FALSE(save(pair, 2)) << (entry.key ? entry.key : "null");
    EXPECT_EQ(folder.readFile(kFile), before) << (entry.key ? entry.key : "null");
  }

  // Nothing to set writes nothing, not even a new file.
  std::filesystem::remove(folder.path() / kFile);
  EXPECT_TRUE(save(bad, 0));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kFile));
}

TEST(ProfileTest, AFileThatCannotBeReadIsNotReplaced) {
  ScratchFolder folder;
  // A folder in the file's place exists but cannot be read as text.
  std::filesystem::create_directories(folder.path() / kFile);
  ProfileEntry entry{"KM", "Car", "1.000000"};
  EXPECT_FALSE(save(&entry, 1));
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / kFile));
  EXPECT_EQ(filesIn(folder.pluginFolder()), 1);
}

// A host may switch the C locale to one that writes "1234,500000"; the file
// keeps '.' and still reads back whole.
TEST(ProfileTest, NumbersIgnoreTheProcessLocale) {
  const char* candidates[] = {"de_DE.UTF-8",         "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                              "German_Germany.1252", "German",     "deu"};
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_NUMERIC, name)) {
      if (std::localeconv()->decimal_point[0] == ',') {
        chosen = name;
        break;
      }
    }
  }
  if (!chosen) {
    std::setlocale(LC_NUMERIC, "C");
    GTEST_SKIP() << "no locale with a decimal comma on this system";
  }
  EXPECT_EQ(format(1234.5), "1234.500000");
  EXPECT_EQ(parseProfileNumber("1234.5"), 1234.5);
  EXPECT_EQ(parseProfileNumber("1234,5"), 1234.0);
  EXPECT_EQ(format(16777217.25), "16777217.250000");
  EXPECT_EQ(parseProfileNumber("16777217.250000"), 16777217.25);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace korvanel

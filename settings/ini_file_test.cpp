// The INI reader and writer: lookups in files and in memory, and edits that
// keep every other line of a file.
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/test_support.h"

namespace korvanel {
namespace {

using testing::ScratchFolder;

std::string find(const std::string& text, const char* section, const char* key) {
  char out[kMaxIniValue + 2];
  return findIniValue(text, section, key, out, sizeof out) ? std::string(out) : "<missing>";
}

// The same lookup in the text read back from a file, which must agree with
// the in-memory one.
std::string findInFile(const ScratchFolder& folder, const std::string& text, const char* section,
                       const char* key) {
  folder.writeFile("lookup.ini", text);
  std::string path = (folder.path() / "lookup.ini").string();
  std::string read;
  return readIniText(path.c_str(), read) ? find(read, section, key) : "<unreadable>";
}

TEST(IniFileTest, LooksUpKeysTheSameWayInFilesAndInMemory) {
  ScratchFolder folder;
  const std::string text =
      "; comment=1\r\n"
      "[km]\r\n"
      "  Car_A = 12.5  \r\n"
      "car_a=99\r\n"
      "Quoted=\"a b\"\r\n"
      ";Hidden=2\r\n"
      "[KM_TRACKS]\r\n"
      "Car_A[Oval]=7\r\n"
      "[KM]\r\n"
      "Late=1\r\n"
      "NoNewlineAtEnd=3";
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"KM", "CAR_A", "12.5"},  // names ignore case; the first key counts
      {"KM", "Quoted", "a b"},  // matching quotes go
      {"KM_TRACKS", "Car_A[Oval]", "7"},
      {"KM", "Late", "<missing>"},  // only the first section of a name counts
      {"KM", "Car_A[Oval]", "<missing>"},
      {"KM_TRACKS", "Car_A", "<missing>"},
      {"KM", ";Hidden", "<missing>"},  // a ';' line is a comment
      {"KM", "NoNewlineAtEnd", "<missing>"},
      {"kM_tRaCkS", "car_a[oval]", "7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(findInFile(folder, text, c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
  std::string tail = "[X]\nNoNewlineAtEnd=3";
  EXPECT_EQ(find(tail, "X", "NoNewlineAtEnd"), "3");
  EXPECT_EQ(findInFile(folder, tail, "X", "NoNewlineAtEnd"), "3");
}

TEST(IniFileTest, CutsLongValuesTo259Characters) {
  ScratchFolder folder;
  std::string text = "[HUD]\nLong=" + std::string(400, 'v') + "\nNext=1\n";
  EXPECT_EQ(find(text, "HUD", "Long"), std::string(kMaxIniValue, 'v'));
  EXPECT_EQ(findInFile(folder, text, "HUD", "Long"), std::string(kMaxIniValue, 'v'));
  EXPECT_EQ(findInFile(folder, text, "HUD", "Next"), "1");
}

// Editors save a UTF-8 byte order mark; it used to hide the first section,
// so the stored totals read as 0 and a second [KM] was appended.
TEST(IniFileTest, AByteOrderMarkDoesNotHideTheFirstSection) {
  ScratchFolder folder;
  const std::string text = "\xEF\xBB\xBF[KM]\nCar=100.000000\n[KM_TRACKS]\nCar[T]=5.000000\n";
  EXPECT_EQ(find(text, "KM", "Car"), "100.000000");
  EXPECT_EQ(findInFile(folder, text, "KM", "Car"), "100.000000");
  EXPECT_EQ(findInFile(folder, "\xEF\xBB\xBF", "KM", "Car"), "<missing>");
  EXPECT_EQ(findInFile(folder, "\xEF\xBB", "KM", "Car"), "<missing>");

  std::string edited = withIniValue(text, "KM", "Car", "150.000000");
  EXPECT_EQ(edited, "\xEF\xBB\xBF[KM]\nCar=150.000000\n[KM_TRACKS]\nCar[T]=5.000000\n");
  edited = withIniValue(edited, "KM", "Other", "1.000000");
  EXPECT_EQ(edited,
            "\xEF\xBB\xBF[KM]\nCar=150.000000\nOther=1.000000\n[KM_TRACKS]\nCar[T]=5.000000\n");
}

// Vehicle names such as "#24 GT" are keys of the odometer file; as comments
// they read as 0 and were appended again at every save.
TEST(IniFileTest, ALineStartingWithHashIsAKey) {
  const std::string text = "[KM]\n#24_GT=300.000000\n";
  EXPECT_EQ(find(text, "KM", "#24_GT"), "300.000000");
  EXPECT_EQ(withIniValue(text, "KM", "#24_GT", "301.000000"), "[KM]\n#24_GT=301.000000\n");
}

// A file damaged by a crash may hold runs of NUL bytes. The file reader ends
// lines at them; the editor must see the same lines, or it adds a second
// key after the one that is read and the stored total never changes again.
TEST(IniFileTest, NulBytesEndLinesForTheReaderAndTheEditorAlike) {
  ScratchFolder folder;
  const std::string text("[KM]\n\0\0\0Car=5.000000\n", 21);
  EXPECT_EQ(find(text, "KM", "Car"), "5.000000");
  EXPECT_EQ(findInFile(folder, text, "KM", "Car"), "5.000000");
  std::string edited = withIniValue(text, "KM", "Car", "6.000000");
  EXPECT_EQ(edited, std::string("[KM]\n\0\0\0Car=6.000000\n", 21));
  EXPECT_EQ(findInFile(folder, edited, "KM", "Car"), "6.000000");
}

TEST(IniFileTest, EditsReplaceInPlaceAndKeepEverythingElse) {
  const std::string text =
      "; odometer\r\n"
      "[KM]\r\n"
      "Alpha=1.000000\r\n"
      "  beta = 2.000000 ; kept? no, part of the value\r\n"
      "\r\n"
      "[Other]\r\n"
      "Beta=9\r\n";
  // The matched line is rewritten whole, its CRLF kept.
  EXPECT_EQ(withIniValue(text, "km", "BETA", "3.000000"),
            "; odometer\r\n[KM]\r\nAlpha=1.000000\r\nBETA=3.000000\r\n\r\n[Other]\r\nBeta=9\r\n");
  // A new key goes after the section's last non-blank line, in the file's
  // own line ends.
  EXPECT_EQ(withIniValue(text, "KM", "Gamma", "4.000000"),
            "; odometer\r\n[KM]\r\nAlpha=1.000000\r\n  beta = 2.000000 ; kept? no, part of the "
            "value\r\nGamma=4.000000\r\n\r\n[Other]\r\nBeta=9\r\n");
  // A new section goes at the end.
  EXPECT_EQ(withIniValue(text, "KM_TRACKS", "A[B]", "5.000000"),
            text + "[KM_TRACKS]\r\nA[B]=5.000000\r\n");
  // Without a final line end one is added before anything new.
  EXPECT_EQ(withIniValue("[KM]\nA=1", "KM", "B", "2"), "[KM]\nA=1\nB=2\n");
  EXPECT_EQ(withIniValue("[KM]", "KM", "B", "2"), "[KM]\nB=2\n");
  EXPECT_EQ(withIniValue("", "KM", "B", "2"), "[KM]\nB=2\n");
  // Only the first section of a name is edited, as only it is read.
  EXPECT_EQ(withIniValue("[KM]\nA=1\n[X]\n[KM]\nB=1\n", "KM", "B", "2"),
            "[KM]\nA=1\nB=2\n[X]\n[KM]\nB=1\n");
}

TEST(IniFileTest, ReadsWholeFilesAndTellsMissingFromUnreadable) {
  ScratchFolder folder;
  std::string text;
  std::string missing = (folder.path() / "none.ini").string();
  text = "stale";
  EXPECT_TRUE(readIniText(missing.c_str(), text));
  EXPECT_EQ(text, "");

  std::string body = "[KM]\nA=1\n" + std::string(10000, 'x') + "\n";
  folder.writeFile("whole.ini", body);
  std::string whole = (folder.path() / "whole.ini").string();
  EXPECT_TRUE(readIniText(whole.c_str(), text));
  EXPECT_EQ(text, body);

  // A folder where the file should be exists but cannot be read as text.
  std::filesystem::create_directories(folder.path() / "folder.ini");
  std::string dir = (folder.path() / "folder.ini").string();
  EXPECT_FALSE(readIniText(dir.c_str(), text));
}

}  // namespace
}  // namespace korvanel

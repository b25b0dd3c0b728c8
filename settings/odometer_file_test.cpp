// The odometer's file as a user's machine treats it: a dashboard holding it
// open, a folder that is missing or a file that cannot be written, a file
// far too large, two hosts saving into one folder at once, a journal left
// behind, a pipe or a link in the file's place. Whatever happens, no
// distance is lost, the host never waits for ever, and the log says why
// once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "platform/plugin_log.h"
#include "settings/ini_file.h"
#include "settings/odometer.h"
#include "settings/plugin_config.h"
#include "settings/profile.h"
#include "settings/profile_journal.h"
#include "tests/test_support.h"

namespace korvanel {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

constexpr char kFile[] = "Plugins/KORVANEL/KM.txt";
constexpr char kJournal[] = "Plugins/KORVANEL/KM.txt.journal";
constexpr char kLog[] = "KORVANEL.log.txt";  // outside the folder that goes away

std::string kmFile(const std::string& vehicleTotal, const std::string& trackTotal) {
  return "[KM]\nFormula_Car_2=" + vehicleTotal +
         "\n[KM_TRACKS]\nFormula_Car_2[Big_Oval]=" + trackTotal + "\n";
}

void select(Odometer& odometer) {
  char vehicle[64] = "Formula Car 2";
  char track[64] = "Big Oval";
  odometer.select(vehicle, track);
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A display program's handle on the file, open for reading as long as it
// lives. On Windows it allows others to read, and to write only when asked,
// never to delete or rename: what makes a replacement of the file fail.
class ReaderHandle {
 public:
  explicit ReaderHandle(const fs::path& path, bool sharesWriting) {
#ifdef _WIN32
    DWORD share = FILE_SHARE_READ | (sharesWriting ? FILE_SHARE_WRITE : 0);
    handle_ = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
#else
    (void)sharesWriting;
    fd_ = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd_, 0);
#endif
  }
  ~ReaderHandle() {
#ifdef _WIN32
    CloseHandle(handle_);
#else
    close(fd_);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE handle_;
#else
  int fd_;
#endif
};

TEST(OdometerFileTest, AReaderHoldingTheFileOpenLosesNoDistance) {
  ScratchFolder folder;
  testing::FakeClock clock;
  folder.writeFile(kFile, kmFile("1000.000000", "10.000000"));
  {
    Odometer odometer;
    select(odometer);
    // A reader that lets others write: the file is written where it lies.
    {
      ReaderHandle reader(folder.path() / kFile, true);
      odometer.add(457.5);
      odometer.save();
      EXPECT_FALSE(odometer.dirty);
    }
    EXPECT_EQ(folder.readFile(kFile), kmFile("1457.500000", "467.500000"));
    EXPECT_FALSE(fs::exists(folder.path() / kJournal));

    // One that lets nobody write: the totals wait in the journal, which a
    // host started now (the next session, after a crash) reads instead.
    {
      ReaderHandle reader(folder.path() / kFile, false);
      odometer.add(2.5);
      odometer.save();
      Odometer nextStart;
      select(nextStart);
      EXPECT_EQ(nextStart.vehicleTotal, 1460.0);
      EXPECT_EQ(nextStart.trackTotal, 470.0);
      odometer.add(1.0);
      clock.advance(kOdometerSaveIntervalMs);
      odometer.saveSoon(clock.now());  // as a scoring update does; may still wait
    }
    // The reader has let go: the next try brings the file up to date.
    clock.advance(kOdometerSaveIntervalMs);
    odometer.saveIfDue(clock.now());
    EXPECT_FALSE(odometer.dirty);
  }
  EXPECT_EQ(folder.readFile(kFile), kmFile("1461.000000", "471.000000"));
  EXPECT_FALSE(fs::exists(folder.path() / kJournal));
}

TEST(OdometerFileTest, FailuresAreLoggedOnceAndTheDistanceReachesTheFileWhenItCan) {
  ScratchFolder folder;
  testing::FakeClock clock;
  fs::create_directories(folder.pluginFolder() / "KM.txt");  // in the way of the file
  PluginLog log(kLog);
  Odometer odometer;
  odometer.setLog(&log);
  select(odometer);
  EXPECT_FALSE(odometer.loaded);
  odometer.add(100.0);
  odometer.save();
  for (int call = 0; call < 50; ++call) {  // half a second of telemetry updates
    odometer.add(1.0);
    clock.advance(10);
    odometer.saveIfDue(clock.now());
    select(odometer);  // as every scoring update does
  }
  EXPECT_EQ(odometer.vehicleTotal, 150.0);
  fs::remove(folder.pluginFolder() / "KM.txt");
  fs::remove(folder.pluginFolder());  // and now even the folder is gone
  select(odometer);
  EXPECT_TRUE(odometer.loaded);

  // A save that fails as the session ends: the totals are kept aside, and
  // the next session starts from them and writes them, folder and all.
  platform::failFileStepForTesting(2);
  odometer.save();
  platform::failFileStepForTesting(0);
  odometer.reset();
  select(odometer);
  EXPECT_EQ(odometer.vehicleTotal, 150.0);
  clock.advance(kOdometerSaveIntervalMs);
  odometer.saveIfDue(clock.now());
  EXPECT_EQ(folder.readFile(kFile), kmFile("150.000000", "150.000000"));
  std::string lines = folder.readFile(kLog);
  EXPECT_EQ(count(lines, "ERROR KM.txt read, totals kept in memory: "), 1u) << lines;
  EXPECT_EQ(count(lines, "ERROR KM.txt save, totals kept in memory: "), 1u) << lines;
  EXPECT_EQ(count(lines, "\n"), 2u) << lines;
}

TEST(OdometerFileTest, AFileOverTheLimitIsNeitherReadWholeNorOverwritten) {
  ScratchFolder folder;
  {
    // Sparse: as long as the limit and a byte, in no time.
    std::ofstream(folder.path() / kFile, std::ios::binary) << "[KM]\nFormula_Car_2=5\n";
    fs::resize_file(folder.path() / kFile, kMaxOdometerFileSize + 1);
  }
  auto before = fs::last_write_time(folder.path() / kFile);
  PluginLog log(kLog);
  Odometer odometer;
  odometer.setLog(&log);
  auto start = std::chrono::steady_clock::now();
  select(odometer);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(odometer.vehicleTotal, 0.0);
  odometer.add(12.0);  // counted in memory
  odometer.save();
  EXPECT_EQ(odometer.vehicleTotal, 12.0);
  EXPECT_EQ(fs::file_size(folder.path() / kFile), kMaxOdometerFileSize + 1);
  EXPECT_EQ(fs::last_write_time(folder.path() / kFile), before);
  std::string lines = folder.readFile(kLog);
  EXPECT_EQ(lines, "ERROR KM.txt larger than the limit, totals kept in memory: 8388608" +
                       testing::textLineEnd());
}

// Two hosts in one folder, each saving its own car over and over: every
// key, comment and section survives, and neither loses the other's keys.
TEST(OdometerFileTest, TwoHostsSavingIntoOneFolderKeepEachOthersKeys) {
  ScratchFolder folder;
  const std::string start = "; mine\n[KM]\nOld=1.000000\n[NOTES]\nKeep=yes\n";
  folder.writeFile(kFile, start);
  constexpr int kSaves = 150;
  auto host = [](const char* car) {
    for (int i = 1; i <= kSaves; ++i) {
      std::string value = std::to_string(i) + ".000000";
      ProfileEntry entry{"KM", car, value.c_str()};
      ProfileSave result = saveProfileStrings("PLUGINS\\KORVANEL\\KM.txt", &entry, 1);
      EXPECT_TRUE(result.written) << car << " " << i << " code " << result.errorCode;
      // A host saves at most once a second; a pause lets the other one in.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  };
  std::thread a(host, "Car_A");
  std::thread b(host, "Car_B");
  a.join();
  b.join();
  std::string text = folder.readFile(kFile);
  char value[kProfileBufferSize];
  for (const char* key : {"Car_A", "Car_B"}) {
    ASSERT_TRUE(findIniValue(text, "KM", key, value, sizeof value)) << key << "\n" << text;
    EXPECT_STREQ(value, "150.000000");
  }
  EXPECT_EQ(text.rfind("; mine\n[KM]\nOld=1.000000\n", 0), 0u) << text;
  EXPECT_NE(text.find("[NOTES]\nKeep=yes\n"), std::string::npos) << text;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder.pluginFolder())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);  // no temporary file, lock or journal left
}

// Ten other cars' keys and a total of 50,000 m: what a stray journal must
// never take away.
std::string richFile(const std::string& total) {
  std::string text = "[KM]\n";
  for (int i = 0; i < 10; ++i)
    text += "Other_" + std::to_string(i) + "=" + std::to_string(i) + ".5\n";
  return text + "Formula_Car_2=" + total + "\n[KM_TRACKS]\nFormula_Car_2[Big_Oval]=" + total + "\n";
}

TEST(OdometerFileTest, AJournalIsUsedOnlyWhenWholeAndNewerThanTheFile) {
  const std::string file = richFile("50000.000000");
  std::string garbage;
  for (int i = 0; i < 300; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  const std::string older = kmFile("2000.000000", "2000.000000");
  struct Case {
    const char* what;
    std::string journal;
  };
  const Case rejected[] = {
      {"garbage", garbage},
      {"empty", ""},
      {"plain text of an older save", older},
      {"cut short", encodeJournal(richFile("50100.000000"), file).substr(0, 200)},
      // Whole, but written over a file that has changed since.
      {"older than the file", encodeJournal(older, kmFile("1000.000000", "1000.000000"))},
  };
  for (const Case& c : rejected) {
    ScratchFolder folder;
    folder.writeFile(kFile, file);
    folder.writeFile(kJournal, c.journal);
    {
      PluginLog log(kLog);
      Odometer odometer;
      odometer.setLog(&log);
      select(odometer);
      EXPECT_EQ(odometer.vehicleTotal, 50000.0) << c.what;
      odometer.add(12.5);
      odometer.save();
    }
    EXPECT_EQ(folder.readFile(kFile), richFile("50012.500000")) << c.what;
    EXPECT_FALSE(fs::exists(folder.path() / kJournal)) << c.what;
    EXPECT_EQ(folder.readFile(std::string(kJournal) + ".rejected"), c.journal) << c.what;
    std::string lines = folder.readFile(kLog);
    EXPECT_EQ(count(lines, "set aside as KM.txt.journal.rejected; KM.txt kept"), 1u) << lines;
  }

  // Whole and newer: the file still holds the journal's base, or is part
  // way through being overwritten with its text (here the first 40 bytes).
  const std::string newer = richFile("50100.000000");
  for (const std::string& left : {file, newer.substr(0, 40) + file.substr(40)}) {
    ScratchFolder folder;
    folder.writeFile(kFile, left);
    folder.writeFile(kJournal, encodeJournal(newer, file));
    Odometer odometer;
    select(odometer);
    EXPECT_EQ(odometer.vehicleTotal, 50100.0);
    odometer.add(1.0);
    odometer.save();
    EXPECT_EQ(folder.readFile(kFile), richFile("50101.000000"));
    EXPECT_FALSE(fs::exists(folder.path() / kJournal));
    EXPECT_FALSE(fs::exists(folder.path() / (std::string(kJournal) + ".rejected")));
  }
}

// Two hosts run from one folder and drive the same car: each adds what it
// drove onto what the file holds, whatever the order of their saves.
TEST(OdometerFileTest, TwoHostsDrivingTheSameCarAddUpTheirDistance) {
  ScratchFolder folder;
  folder.writeFile(kFile, kmFile("1000.000000", "1000.000000"));
  Odometer first;
  Odometer second;
  select(first);
  select(second);
  first.add(12900.0);
  second.add(12900.0);
  first.save();
  second.save();
  EXPECT_EQ(folder.readFile(kFile), kmFile("26800.000000", "26800.000000"));
  EXPECT_EQ(second.vehicleTotal, 26800.0);
  first.add(100.0);
  first.save();
  EXPECT_EQ(first.vehicleTotal, 26900.0);
  EXPECT_EQ(folder.readFile(kFile), kmFile("26900.000000", "26900.000000"));

  // A reset command sets a total; it is not added to anything.
  second.vehicleTotal = 0.0;
  second.add(0.0);
  second.save();
  EXPECT_EQ(folder.readFile(kFile), kmFile("0.000000", "26900.000000"));
}

#ifndef _WIN32
// Opens the write end of the pipe at `path`, which lets a reader blocked on
// it go; closing it then ends the reader's read.
void releasePipe(const fs::path& path) {
  int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) close(fd);
}

// Runs `work` and fails when it does not return within two seconds (a pipe
// in a file's place would block it for ever); the pipes are then let go.
template <typename Work>
void finishesPromptly(const char* what, const std::vector<fs::path>& pipes, Work work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  auto start = std::chrono::steady_clock::now();
  while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(done) << what << " waited on a pipe";
  while (!done) {
    for (const fs::path& pipe : pipes) releasePipe(pipe);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
}

TEST(OdometerFileTest, APipeInAFilesPlaceIsRefusedWithoutWaiting) {
  ScratchFolder folder;
  const fs::path km = folder.path() / kFile;
  const fs::path journal = folder.path() / kJournal;
  const fs::path config = folder.pluginFolder() / "korvanelconf.txt";
  const fs::path logPipe = folder.path() / "pipe.log.txt";
  for (const fs::path& pipe : {km, journal, config, logPipe}) {
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << pipe;
  }
  finishesPromptly("the configuration", {config}, [] {
    PluginConfig config;
    config.load("Plugins\\KORVANEL\\korvanelconf.txt", nullptr);
    EXPECT_FLOAT_EQ(config.kersTime, 6.7f);
  });
  finishesPromptly("the log", {logPipe}, [] { EXPECT_FALSE(PluginLog("pipe.log.txt").isOpen()); });
  finishesPromptly("the odometer", {km, journal}, [&] {
    PluginLog log(kLog);
    Odometer odometer;
    odometer.setLog(&log);
    select(odometer);
    odometer.add(5.0);
    odometer.save();
    EXPECT_TRUE(odometer.dirty);  // nothing written over the pipe
  });
  EXPECT_TRUE(fs::is_fifo(km));
  EXPECT_NE(folder.readFile(kLog).find("ERROR KM.txt read, totals kept in memory: 22"),
            std::string::npos)
      << folder.readFile(kLog);
}

// A KM.txt that is a link (to a file kept with the user's other settings):
// the saves update the file it points at and leave the link in place.
TEST(OdometerFileTest, SavesWriteThroughALinkAndKeepIt) {
  ScratchFolder folder;
  fs::create_directories(folder.path() / "elsewhere");
  folder.writeFile("elsewhere/KM.txt", kmFile("1000.000000", "1000.000000"));
  fs::create_symlink("../../elsewhere/KM.txt", folder.path() / kFile);
  Odometer odometer;
  select(odometer);
  odometer.add(24.0);
  odometer.save();
  EXPECT_TRUE(fs::is_symlink(folder.path() / kFile));
  EXPECT_EQ(folder.readFile("elsewhere/KM.txt"), kmFile("1024.000000", "1024.000000"));
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder.path() / "elsewhere")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);  // no temporary file left beside the target
}
#endif

}  // namespace
}  // namespace korvanel

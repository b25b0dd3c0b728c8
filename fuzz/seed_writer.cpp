// Writes the seed corpus of the fuzz targets in the byte formats their
// entry points read (see each target). Run it again after changing a format:
//   build/fuzz/seed_writer fuzz/corpus
// Seeds are ordinary races and files, so that the fuzzer starts from inputs
// that reach deep into the code and mutates from there.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_records.h"
#include "publish/host_state.h"

using namespace korvanel;

namespace {

class Bytes {
 public:
  template <typename T>
  Bytes& put(const T& value) {
    raw(&value, sizeof value);
    return *this;
  }
  Bytes& raw(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return *this;
  }
  Bytes& text(const std::string& s) { return raw(s.data(), s.size()); }
  const std::vector<uint8_t>& data() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

std::filesystem::path gRoot;

void save(const char* target, const char* name, const std::vector<uint8_t>& bytes) {
  std::filesystem::path folder = gRoot / target;
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void save(const char* target, const char* name, const std::string& text) {
  save(target, name, std::vector<uint8_t>(text.begin(), text.end()));
}

HostVehicle car(const char* driver, uint8_t place, const char* vehicleClass, bool player) {
  HostVehicle v{};
  std::snprintf(v.driverName, sizeof v.driverName, "%s", driver);
  std::snprintf(v.vehicleName, sizeof v.vehicleName, "%s %s #%u", vehicleClass, driver, place);
  std::snprintf(v.vehicleClass, sizeof v.vehicleClass, "%s", vehicleClass);
  v.place = place;
  v.isPlayer = player ? 1 : 0;
  v.control = player ? 0 : 2;
  v.lapsCompleted = static_cast<int16_t>(10 - place / 3);
  v.sector = static_cast<int8_t>(place % 3);
  v.lapDistance = 100.0 * place;
  v.bestSector1 = 30.0 + place * 0.1;
  v.bestSector2 = 61.0 + place * 0.1;
  v.bestLapTime = 92.0 + place * 0.2;
  v.lastSector1 = 30.5;
  v.lastSector2 = 61.5;
  v.lastLapTime = 93.0 + place * 0.2;
  v.currentSector1 = place % 2 ? 31.0 : -1.0;
  v.currentSector2 = -1.0;
  v.inPits = place == 4 ? 1 : 0;
  v.timeBehindNext = place > 1 ? 0.8 : 0.0;
  v.lapsBehindNext = 0;
  v.timeBehindLeader = 0.8 * (place - 1);
  v.position[0] = 10.0 * place;
  v.position[1] = 1.5;
  v.position[2] = -5.0 * place;
  v.localVelocity[2] = 50.0 + place;
  v.localAcceleration[2] = 0.5;
  v.orientation[0] = v.orientation[4] = v.orientation[8] = 1.0;
  return v;
}

// HostileScoring's format: flags, count + 1, text size, header, text,
// injections, then the vehicles at a stride of one record plus one byte.
void putScoring(Bytes& b, uint8_t flags, const std::vector<HostVehicle>& cars,
                const std::string& text, uint8_t realtime,
                const std::vector<uint32_t>& injections = {}, int32_t count = -2) {
  b.put(flags);
  int32_t n = count == -2 ? static_cast<int32_t>(cars.size()) : count;
  b.put(static_cast<uint16_t>(n + 1));
  b.put(static_cast<uint16_t>(text.size()));
  HostScoring h{};
  std::snprintf(h.trackName, sizeof h.trackName, "%s", "Big Oval");
  h.session = 10;
  h.currentTime = 600.0;
  h.lapLength = 5000.0;
  h.phase = 5;
  h.realtimeFlag = realtime;
  b.put(h);
  b.text(text);
  b.put(static_cast<uint8_t>(injections.size()));
  for (uint32_t j : injections) b.put(j);
  for (const HostVehicle& v : cars) b.put(v).put(static_cast<uint8_t>(0xA5));
}

std::vector<HostVehicle> field(int cars, int playerPlace, int classes) {
  static const char* kClasses[] = {"GT3", "LMP1", "LMP2"};
  std::vector<HostVehicle> out;
  for (int i = 0; i < cars; ++i) {
    int place = (i * 7) % cars + 1;  // host order is not race order
    char name[32];
    std::snprintf(name, sizeof name, i == 1 ? "Ann Team" : "Driver %d", i);
    out.push_back(
        car(name, static_cast<uint8_t>(place), kClasses[i % classes], place == playerPlace));
  }
  return out;
}

// An injection: target vehicle (count means the header), field, kind.
uint32_t injection(uint16_t vehicle, uint8_t field, uint8_t kind) {
  return vehicle | (uint32_t{field} << 16) | (uint32_t{kind} << 24);
}

void scoringSeeds() {
  {
    Bytes b;
    b.put(uint32_t{100000}).put(uint8_t{4 | 8}).put(uint16_t{10}).put(uint16_t{20});
    b.put(uint8_t{0}).put(uint8_t{2}).put(uint8_t{1}).put(uint8_t{1});  // commands
    putScoring(b, 0, field(3, 2, 2), "Race on", 0);
    save("scoring_update", "three_cars_player_second", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{0xFFFFF000u}).put(uint8_t{1 | 4 | 8 | 16}).put(uint16_t{300}).put(uint16_t{9});
    b.put(uint8_t{2}).put(uint8_t{3}).put(uint8_t{1}).put(uint8_t{1});
    putScoring(b, 0, field(20, 7, 3), std::string(300, 'h'), 1);
    save("scoring_update", "twenty_cars_tick_wraps", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{5000}).put(uint8_t{4 | 8}).put(uint16_t{0}).put(uint16_t{0});
    b.put(uint8_t{0}).put(uint8_t{1}).put(uint8_t{0}).put(uint8_t{0});
    // 160 records from a pool of 20: the ring repeats them.
    putScoring(b, 0, field(20, 15, 3), "", 0, {}, 160);
    save("scoring_update", "more_cars_than_entries", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{1}).put(uint8_t{4}).put(uint16_t{1}).put(uint16_t{1});
    b.put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0});
    putScoring(b, 1, {}, std::string(2100, 'x'), 0, {}, 0);
    save("scoring_update", "no_cars_long_text", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{7}).put(uint8_t{2 | 4}).put(uint16_t{1}).put(uint16_t{1});
    HostState s{};
    s.selectedClassRow = 255;
    s.distanceResetCommand = 2;
    s.updateCount = 0x7FFFFFFF;
    s.playerIndex = 149;
    b.put(s);
    putScoring(b, 0, field(2, 1, 1), "x", 0, {}, -1);
    save("scoring_update", "count_minus_one", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{100000}).put(uint8_t{4 | 8}).put(uint16_t{10}).put(uint16_t{20});
    b.put(uint8_t{0}).put(uint8_t{2}).put(uint8_t{1}).put(uint8_t{1});
    std::vector<HostVehicle> cars = field(6, 3, 2);
    for (HostVehicle& v : cars) {
      std::memset(v.driverName, 'D', sizeof v.driverName);
      std::memset(v.vehicleClass, 'g', sizeof v.vehicleClass);
    }
    putScoring(b, 2 | 4, cars, "names fill their fields", 0,
               {injection(0, 0, 0), injection(1, 11, 2), injection(2, 5, 1), injection(3, 17, 8),
                injection(6, 2, 0), injection(6, 0, 3), injection(4, 23, 0), injection(5, 3, 12)});
    save("scoring_update", "unterminated_names_and_nan", b.data());
  }
}

// hostileTelemetry's format: flags, the record, then injection pairs.
void putTelemetry(Bytes& b, int32_t lap, double speed, double delta,
                  const std::vector<uint16_t>& injections = {}) {
  b.put(static_cast<uint8_t>(injections.size() << 1));
  HostTelemetry t{};
  std::snprintf(t.vehicleName, sizeof t.vehicleName, "%s", "Formula Car 2");
  t.deltaTime = delta;
  t.lapNumber = lap;
  t.lapStartTime = 512.0;
  t.position[0] = 1.0;
  t.position[1] = 2.0;
  t.position[2] = 3.0;
  t.localVelocity[2] = speed;
  t.fuelLevel = 40.0;
  b.put(t);
  for (uint16_t j : injections) b.put(j);
}

void telemetrySeeds() {
  {
    Bytes b;
    b.put(uint32_t{100000}).put(uint8_t{4 | 8});
    b.put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{1}).put(uint8_t{1});
    b.put(uint8_t{1});  // two steps
    b.put(uint32_t{11}).put(uint8_t{0}).put(uint8_t{1}).put(uint8_t{1}).put(uint8_t{0});
    putTelemetry(b, 3, 50.0, 1.0 / 90.0);
    b.put(uint32_t{11}).put(uint8_t{2}).put(uint8_t{1}).put(uint8_t{1}).put(uint8_t{0});
    putTelemetry(b, 3, 50.0, 1.0 / 90.0);
    putScoring(b, 0, field(5, 2, 2), "", 1);
    save("telemetry_update", "reset_command_with_kers", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{0xFFFFFF00u}).put(uint8_t{8 | 16});
    b.put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0});
    b.put(uint8_t{3});  // four steps
    for (int i = 0; i < 4; ++i) {
      b.put(uint32_t{100u * i})
          .put(static_cast<uint8_t>(i == 2 ? 3 : 0))
          .put(uint8_t{1})
          .put(uint8_t{1});
      b.put(uint8_t{0});
      putTelemetry(b, 4 + i / 2, 60.0, 0.011,
                   i == 1 ? std::vector<uint16_t>{0x0000, 0x0205} : std::vector<uint16_t>{});
    }
    save("telemetry_update", "nan_step_and_track_reset", b.data());
  }
  {
    Bytes b;
    b.put(uint32_t{50000}).put(uint8_t{4});
    b.put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0});
    b.put(uint8_t{0});
    b.put(uint32_t{2500}).put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0}).put(uint8_t{0});
    putTelemetry(b, 1, 0.0, 0.011);
    putScoring(b, 0, field(24, 11, 3), "", 1, {}, 120);
    save("telemetry_update", "dead_reckoning_past_100", b.data());
  }
}

void configSeeds() {
  save("config_reader", "typical",
       "[GENERAL]\nTeamMembers=Ann Team; bob ,$$Realtime_Mode$$\n[HUD]\n"
       "Grid_Classes0=Everyone,*\nGrid_Classes1=Mine,@\nGrid_Classes5=GT,gt3,#rs\n"
       "Grid_Classes7=Prototypes,lmp1,$#ANN,$BOB\nKersTime=7.5x\n");
  save("config_reader", "separators_and_blanks",
       "[hud]\r\ngrid_classes2 = , ; ,\r\nGrid_Classes3=\t ,Open Wheel , f1\r\n"
       "Grid_Classes4=a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t\r\n"
       "[general]\r\nteammembers=one;   ;three\r\n");
  save("config_reader", "long_lines",
       "[HUD]\n" + std::string(5000, ' ') + "KersTime=9\n[GENERAL]\nTeamMembers=\"" +
           std::string(300, 'n') + "\"\n[" + std::string(4500, 'S') + "]\n[HUD]\nKersTime=1\n");
  save("config_reader", "bom_nul_and_quotes",
       std::string("\xEF\xBB\xBF[HUD]\nKersTime='8'\0Grid_Classes1=A,b\n; comment\n#x=1\n", 52));
}

void putOdometerHead(Bytes& b, uint8_t flags, const std::string& vehicle, const std::string& track,
                     uint16_t eighthsOfMetre) {
  b.put(flags).put(static_cast<uint8_t>(vehicle.size())).text(vehicle);
  b.put(static_cast<uint8_t>(track.size())).text(track);
  b.put(eighthsOfMetre);
}

void odometerSeeds() {
  {
    Bytes b;
    putOdometerHead(b, 0, "Formula Car 2", "Big Oval", 20);
    b.text(
        "; kept\n[KM]\nAlpha_Car=1.500000\nFormula_Car_2=100.250000\n\n[NOTES]\nOwner=me\n"
        "[KM_TRACKS]\nAlpha_Car[Big_Oval]=2.000000\nFormula_Car_2[Big_Oval]=50.000000\n");
    save("odometer_file", "existing_keys", b.data());
  }
  {
    Bytes b;
    putOdometerHead(b, 0, "#24 GT=fast;", "[Le Track]", 8);
    b.text("\xEF\xBB\xBF[km]\r\n#24_GT_fast;=abc\r\n[KM_TRACKS]\r\nx=1e999\r\n");
    save("odometer_file", "awkward_names_crlf", b.data());
  }
  {
    Bytes b;
    putOdometerHead(b, 0, "Car", "Track", 65535);
    b.text(std::string("[KM]\nCar=16777216.25\n[KM]\nCar=3\n\0[KM_TRACKS]\0Car[Track]=nan\n", 56));
    b.text(std::string(5000, 'z') + "=1\n[KM_TRACKS]\nCar[Track]=7\n");
    save("odometer_file", "duplicates_nul_long_line", b.data());
  }
  {
    Bytes b;
    putOdometerHead(b, 1, "New Car", "New Track", 800);
    save("odometer_file", "no_file", b.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed_writer <corpus folder>\n");
    return 2;
  }
  gRoot = argv[1];
  scoringSeeds();
  telemetrySeeds();
  configSeeds();
  odometerSeeds();
  return 0;
}

// Validation first, writing after: a request is either carried out whole or
// changes nothing.
#include "tools/live/live_requests.h"

#include <random>

#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {
namespace {

using nlohmann::json;

Refusal refuse(int status, std::string reason) { return {status, std::move(reason)}; }

constexpr int kMaxRaceLaps = 10000;
constexpr int kMaxRaceMinutes = 24 * 60 * 7;

// {"laps": N} or {"minutes": M} (whole or not), or null for unknown.
Refusal raceLengthFrom(const json& value, std::optional<engineer::RaceLength>& out) {
  const char* shape =
      "raceLength must be {\"laps\": 1 to 10000}, {\"minutes\": up to 10080} or null";
  if (value.is_null()) {
    out = engineer::RaceLength{};
    return {};
  }
  if (!value.is_object() || value.size() != 1) return refuse(422, shape);
  if (value.contains("laps")) {
    const json& laps = value["laps"];
    if (!laps.is_number_integer() || laps.get<long long>() < 1 ||
        laps.get<long long>() > kMaxRaceLaps)
      return refuse(422, shape);
    out = engineer::RaceLength{static_cast<int>(laps.get<long long>()), 0.0};
    return {};
  }
  if (value.contains("minutes")) {
    const json& minutes = value["minutes"];
    if (!minutes.is_number() || !(minutes.get<double>() > 0) ||
        minutes.get<double>() > kMaxRaceMinutes)
      return refuse(422, shape);
    out = engineer::RaceLength{0, minutes.get<double>()};
    return {};
  }
  return refuse(422, shape);
}

Refusal partsFromName(std::string_view name, unsigned& parts) {
  if (name == "session")
    parts |= kPartSession;
  else if (name == "standings")
    parts |= kPartStandings;
  else if (name == "player")
    parts |= kPartPlayer;
  else if (name == "records")
    parts |= kPartRecords;
  else if (name == "classes")
    parts |= kPartClasses;
  else if (name == "relative")
    parts |= kPartRelative;
  else if (name == "delta")
    parts |= kPartDelta;
  else if (name == "fuel")
    parts |= kPartFuel;
  else if (name == "history")
    parts |= kPartHistory;
  else if (name == "all")
    parts |= kPartAll;
  else {
    return refuse(400, "unknown part \"" + std::string(name) +
                           "\" (parts: session, standings, player, records, classes, relative, "
                           "delta, fuel, history, all)");
  }
  return {};
}

Refusal rateFrom(long long value, StreamOptions& options) {
  if (value < 1 || value > 60) return refuse(400, "rate must be 1 to 60 frames a second");
  options.rate = static_cast<int>(value);
  return {};
}

Refusal carFrom(std::string_view name, StreamOptions& options) {
  if (name.empty() || name.size() > 64 ||
      name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") !=
          std::string_view::npos) {
    return refuse(400, "car must be a car's topic level (letters, digits, '-', '_', '.')");
  }
  options.car = std::string(name);
  return {};
}

}  // namespace

Refusal parseCommands(const json& document, BlockCommands& out,
                      std::optional<engineer::RaceLength>* raceLength) {
  const char* known =
      raceLength ? "classRow, resetOdometer, kers, raceLength" : "classRow, resetOdometer, kers";
  if (!document.is_object() || document.empty()) {
    return refuse(422, std::string("a command is an object with ") + known);
  }
  BlockCommands commands;
  std::optional<engineer::RaceLength> length;
  for (const auto& [key, value] : document.items()) {
    if (key == "raceLength" && raceLength) {
      Refusal r = raceLengthFrom(value, length);
      if (r) return r;
    } else if (key == "classRow") {
      if (!value.is_number_integer()) return refuse(422, "classRow must be a whole number");
      long long row = value.get<long long>();
      if (row < 0 || row > 255) return refuse(422, "classRow must be 0 to 255");
      commands.classRow = static_cast<int>(row);
    } else if (key == "resetOdometer") {
      if (!value.is_string() || (value != "vehicle" && value != "track")) {
        return refuse(422, "resetOdometer must be \"vehicle\" or \"track\"");
      }
      commands.odometer = value.get<std::string>();
    } else if (key == "kers") {
      if (!value.is_string() ||
          (value != "on" && value != "off" && value != "run" && value != "stop")) {
        return refuse(422, "kers must be \"on\", \"off\", \"run\" or \"stop\"");
      }
      commands.kers = value.get<std::string>();
    } else {
      return refuse(422, "unknown command \"" + key + "\" (commands: " + known + ")");
    }
  }
  out = commands;
  if (raceLength) *raceLength = length;
  return {};
}

bool parseRaceLength(std::string_view text, engineer::RaceLength& out) {
  if (text == "none") {
    out = {};
    return true;
  }
  if (text.size() < 2 || text.size() > 8) return false;
  char unit = text.back();
  std::string_view digits = text.substr(0, text.size() - 1);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
  int value = std::stoi(std::string(digits));
  if (value < 1) return false;
  if ((unit == 'L' || unit == 'l') && value <= kMaxRaceLaps) {
    out = {value, 0.0};
    return true;
  }
  if ((unit == 'm' || unit == 'M') && value <= kMaxRaceMinutes) {
    out = {0, static_cast<double>(value)};
    return true;
  }
  return false;
}

Refusal parseStreamQuery(std::string_view query, StreamOptions& options) {
  StreamOptions result = options;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string_view key = pair.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    if (key == "rate") {
      long long rate = 0;
      if (value.empty() || value.size() > 6 ||
          value.find_first_not_of("0123456789") != std::string_view::npos) {
        return refuse(400, "rate must be 1 to 60 frames a second");
      }
      rate = std::stoll(std::string(value));
      if (Refusal r = rateFrom(rate, result)) return r;
    } else if (key == "parts") {
      unsigned parts = 0;
      while (!value.empty()) {
        size_t comma = value.find(',');
        // Browsers send the comma of a query escaped.
        size_t escaped = value.find("%2C");
        if (escaped != std::string_view::npos && escaped < comma) comma = escaped;
        std::string_view name = value.substr(0, comma);
        value = comma == std::string_view::npos
                    ? std::string_view()
                    : value.substr(comma + (value[comma] == ',' ? 1 : 3));
        if (name.empty()) continue;
        if (Refusal r = partsFromName(name, parts)) return r;
      }
      if (parts == 0) return refuse(400, "parts must name at least one part");
      result.parts = parts;
    } else if (key == "car") {
      if (Refusal r = carFrom(value, result)) return r;
    } else if (key == "race") {
      engineer::RaceLength length;
      if (!parseRaceLength(value, length)) {
        return refuse(400, "race must be laps (30L), minutes (45m) or none");
      }
      result.race = length;
    } else {
      return refuse(400, "unknown stream option \"" + std::string(key) +
                             "\" (options: rate, parts, car, race)");
    }
  }
  options = result;
  return {};
}

Refusal parseStreamMessage(const json& message, StreamOptions& options) {
  StreamOptions result = options;
  if (message.contains("rate")) {
    const json& rate = message["rate"];
    if (!rate.is_number_integer()) return refuse(400, "rate must be 1 to 60 frames a second");
    if (Refusal r = rateFrom(rate.get<long long>(), result)) return r;
  }
  if (message.contains("parts")) {
    const json& names = message["parts"];
    if (!names.is_array() || names.empty())
      return refuse(400, "parts must be a list of part names");
    unsigned parts = 0;
    for (const json& name : names) {
      if (!name.is_string()) return refuse(400, "parts must be a list of part names");
      if (Refusal r = partsFromName(name.get<std::string>(), parts)) return r;
    }
    result.parts = parts;
  }
  if (message.contains("car")) {
    const json& car = message["car"];
    if (!car.is_string()) return refuse(400, "car must be a car's topic level");
    if (Refusal r = carFrom(car.get<std::string>(), result)) return r;
  }
  options = result;
  return {};
}

bool sameToken(std::string_view given, std::string_view expected) {
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < expected.size(); ++i) {
    unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= g ^ static_cast<unsigned char>(expected[i]);
  }
  return difference == 0 && !expected.empty();
}

std::string newToken() {
  std::random_device random;
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 8; ++i) {
    unsigned word = random();
    for (int j = 0; j < 4; ++j) token += digits[(word >> (j * 4)) & 15];
  }
  return token;
}

}  // namespace korvanel::tools::live

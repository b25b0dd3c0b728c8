// Validation first, writing after: a request is either carried out whole or
// changes nothing.
#include "tools/live/live_requests.h"

#include <random>

#include "tools/reader/snapshot_json.h"

namespace korvanel::tools::live {
namespace {

using nlohmann::json;

Refusal refuse(int status, std::string reason) { return {status, std::move(reason)}; }

Refusal partsFromName(std::string_view name, unsigned& parts) {
  if (name == "session")
    parts |= kPartSession;
  else if (name == "standings")
    parts |= kPartStandings;
  else if (name == "player")
    parts |= kPartPlayer;
  else if (name == "records")
    parts |= kPartRecords;
  else if (name == "all")
    parts |= kPartAll;
  else {
    return refuse(400, "unknown part \"" + std::string(name) +
                           "\" (parts: session, standings, player, records, all)");
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

Refusal parseCommands(const json& document, BlockCommands& out) {
  if (!document.is_object() || document.empty()) {
    return refuse(422, "a command is an object with classRow, resetOdometer and/or kers");
  }
  BlockCommands commands;
  for (const auto& [key, value] : document.items()) {
    if (key == "classRow") {
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
      return refuse(422,
                    "unknown command \"" + key + "\" (commands: classRow, resetOdometer, kers)");
    }
  }
  out = commands;
  return {};
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
    } else {
      return refuse(
          400, "unknown stream option \"" + std::string(key) + "\" (options: rate, parts, car)");
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

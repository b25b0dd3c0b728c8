// The broker options of korvanel-live. Passwords are read from the config
// file or the environment so that they need not show in a process list.
#include "tools/live/mqtt_options.h"

#include <CLI/CLI.hpp>

namespace korvanel::tools::live {

bool parseMqttUrl(const std::string& text, MqttUrl& url, std::string& error) {
  MqttUrl out;
  std::string rest;
  if (text.rfind("mqtt://", 0) == 0) {
    rest = text.substr(7);
  } else if (text.rfind("mqtts://", 0) == 0) {
    out.tls = true;
    rest = text.substr(8);
  } else {
    error = "a broker URL starts with mqtt:// or mqtts://: " + text;
    return false;
  }
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string credentials = authority.substr(0, at);
    authority = authority.substr(at + 1);
    size_t colon = credentials.find(':');
    out.user = credentials.substr(0, colon);
    if (colon != std::string::npos) out.password = credentials.substr(colon + 1);
  }
  size_t colon = authority.rfind(':');
  bool bracketed = !authority.empty() && authority.front() == '[';
  if (colon != std::string::npos && (!bracketed || authority[colon - 1] == ']')) {
    std::string port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
        std::stoi(port) > 65535) {
      error = "the broker's port must be 1 to 65535: " + text;
      return false;
    }
    out.port = std::stoi(port);
  } else {
    out.port = out.tls ? 8883 : 1883;
  }
  if (bracketed && authority.size() > 2 && authority.back() == ']') {
    authority = authority.substr(1, authority.size() - 2);
  }
  if (authority.empty()) {
    error = "the broker URL names no host: " + text;
    return false;
  }
  out.host = authority;
  if (path.size() >= 2 && path.compare(path.size() - 2, 2, "/#") == 0) {
    path.resize(path.size() - 2);
  } else if (path == "#") {
    path.clear();
  }
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (path.empty()) {
    error = "the broker URL needs a topic prefix after the host, as in mqtt://host/team: " + text;
    return false;
  }
  if (path.find_first_of("+#") != std::string::npos) {
    error = "the topic prefix may not hold + or # (only a final /# is allowed): " + text;
    return false;
  }
  out.prefix = path;
  url = out;
  return true;
}

std::string topicLevel(const std::string& name) {
  std::string level;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.';
    level += plain ? c : '-';
  }
  return level.empty() ? "car" : level;
}

bool resolveMqttUrl(const std::string& text, const MqttSettings& settings, MqttUrl& url,
                    std::string& error) {
  if (!parseMqttUrl(text, url, error)) return false;
  if (!settings.user.empty()) url.user = settings.user;
  if (!settings.password.empty()) url.password = settings.password;
  if (!url.password.empty() && url.user.empty()) {
    error = "a broker password needs a user name (--mqtt-user)";
    return false;
  }
  return true;
}

void addMqttOptions(CLI::App& app, MqttSettings& settings) {
  const char* group = "Team and broadcast (MQTT broker)";
  app.set_config("--config", "",
                 "Read options from this file, one 'name = value' a line (publish, follow, "
                 "mqtt-user, mqtt-password, mqtt-ca-file, car, ...)")
      ->group(group);
  auto* publish = app.add_option("--publish", settings.publish,
                                 "Publish the race to mqtt[s]://HOST[:PORT]/PREFIX, each part "
                                 "retained under PREFIX/CAR/PART")
                      ->group(group);
  app.add_option("--follow", settings.follow,
                 "Pit-wall mode: serve the cars published under mqtt[s]://HOST[:PORT]/PREFIX/# "
                 "instead of this computer's block")
      ->excludes(publish)
      ->group(group);
  app.add_option("--mqtt-user", settings.user, "User name at the broker")->group(group);
  app.add_option("--mqtt-password", settings.password,
                 "Password at the broker; better in the config file or KORVANEL_MQTT_PASSWORD, "
                 "which other users cannot list")
      ->envname("KORVANEL_MQTT_PASSWORD")
      ->group(group);
  app.add_option("--mqtt-ca-file", settings.caFile,
                 "Certificates (PEM) to trust for mqtts:// (default: the system's)")
      ->check(CLI::ExistingFile)
      ->group(group);
  app.add_option("--car", settings.car, "This car's topic level (default: the computer's name)")
      ->group(group);
  app.add_option("--publish-rate", settings.rate, "Publications of each part a second, at most")
      ->check(CLI::Range(0.2, 60.0))
      ->capture_default_str()
      ->group(group);
  app.add_option("--keep-alive", settings.keepAlive,
                 "Seconds between signs of life to the broker; a silent publisher is marked "
                 "stale within 1.5 times this")
      ->check(CLI::Range(5, 600))
      ->capture_default_str()
      ->group(group);
  app.add_flag("--publish-compress", settings.compress,
               "Deflate each part (zlib: a fifth to a quarter of the bytes); followers read both, "
               "browsers subscribing to the broker themselves must inflate")
      ->group(group);
  app.add_flag("--mqtt-commands", settings.commands,
               "Carry display commands through the broker, each with the driver's token; the "
               "publisher and the follower must both be given this")
      ->group(group);
}

}  // namespace korvanel::tools::live

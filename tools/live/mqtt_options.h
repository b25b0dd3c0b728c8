// What korvanel-live needs to reach an MQTT broker: the URL of --publish or
// --follow, the credentials, the TLS trust and the car's topic level. Built
// everywhere; the client itself only where libmosquitto is.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace korvanel::tools::live {

// "mqtt[s]://[user[:password]@]host[:port]/prefix[/#]", taken apart.
struct MqttUrl {
  bool tls = false;
  std::string host;
  int port = 0;        // 1883, or 8883 with TLS, when the URL names none
  std::string prefix;  // topic levels before the car's; never ends in '/'
  std::string user;
  std::string password;
};

// Fills `url` from `text`; false with `error` set when it is not such a URL
// or its prefix holds a wildcard ('+', '#') anywhere but a final "/#".
bool parseMqttUrl(const std::string& text, MqttUrl& url, std::string& error);

struct MqttSettings {
  std::string publish;       // URL to publish to; empty: no publishing
  std::string follow;        // URL to follow; empty: serve the local block
  std::string user;          // overrides the URL's user
  std::string password;      // overrides the URL's password
  std::string caFile;        // trust for mqtts://; empty: the system's certificates
  std::string car;           // this publisher's topic level; empty: the host name
  double rate = 10;          // publications of each part a second, at most
  int keepAlive = 10;        // seconds; the broker announces a silent publisher after 1.5 times it
  bool commands = false;     // carry display commands through the broker (both ends must say so)
  bool compress = false;     // publish the parts deflated (zlib)
  std::string commandToken;  // a follower's copy of the driver's token (from --token-file)
};

// Adds --publish, --follow, --config and the broker options to `app`; the
// password may also come from the config file or KORVANEL_MQTT_PASSWORD.
void addMqttOptions(CLI::App& app, MqttSettings& settings);

// `name` made fit for one topic level: characters other than letters,
// digits, '-', '_' and '.' become '-'; empty becomes "car".
std::string topicLevel(const std::string& name);

// The URL of `text` completed by `settings` (user, password), or false with `error`.
bool resolveMqttUrl(const std::string& text, const MqttSettings& settings, MqttUrl& url,
                    std::string& error);

}  // namespace korvanel::tools::live

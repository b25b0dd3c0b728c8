// korvanel-live: serves the race picture of Korvanel's shared block to
// browsers and other programs: the live timing page, a JSON snapshot, a
// WebSocket stream and the display commands.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "tools/live/access_guard.h"
#include "tools/live/frame_feed.h"
#include "tools/live/live_requests.h"
#include "tools/live/live_server.h"
#include "tools/live/token_file.h"
#include "tools/live/mqtt_modes.h"
#include "tools/reader/block_source.h"

namespace {

using namespace korvanel::tools;
using namespace korvanel::tools::live;

constexpr int kUsage = 2;
constexpr int kCannotServe = 3;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Live timing for browsers and stream overlays, read from the Korvanel plugin's shared "
      "block.\n"
      "Open the printed address in a browser. Exit codes: 0 stopped, 2 bad usage, 3 cannot listen "
      "or the token file is refused.",
      "korvanel-live"};
  ServerSettings settings;
  std::string tokenFile;
  app.add_option("--listen", settings.address,
                 "Address to serve on; 0.0.0.0 opens the page, the snapshot and the stream to "
                 "other machines")
      ->capture_default_str();
  app.add_option("--port", settings.port, "TCP port (0: any free port)")->capture_default_str();
  app.add_option("--token-file", tokenFile,
                 "Read the command token from this file (written with a new token, for this user "
                 "alone, if missing)");
  app.add_option("--allow-host", settings.allowedHosts,
                 "Another name of this computer that browsers may use in the address (repeat "
                 "for more); localhost and its addresses need none");
  app.add_option("--allow-origin", settings.allowedOrigins,
                 "Let pages of this origin (scheme://host[:port], or null for pages opened from "
                 "files) read the snapshot and the stream and send commands with the token "
                 "(repeat for more)")
      ->check([](const std::string& origin) {
        return normalOrigin(origin).empty()
                   ? "an origin is scheme://host[:port] without a path, or null"
                   : "";
      });
  app.add_option("--max-connections", settings.maxConnections,
                 "Connections served at once; more wait until one closes")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  engineer::RaceLength raceLength;
  auto* laps = app.add_option("--race-laps", raceLength.laps,
                              "The race's length in laps, for fuel to the finish (pages and "
                              "commands may change it)")
                   ->check(CLI::Range(1, 10000));
  app.add_option("--race-minutes", raceLength.minutes,
                 "The race's length in minutes, for fuel to the finish")
      ->check(CLI::Range(1.0, 10080.0))
      ->excludes(laps);
  MqttSettings mqtt;
  addMqttOptions(app, mqtt);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "korvanel-live: %s\n\n%s", e.what(), app.help().c_str());
    return kUsage;
  }
  if (tokenFile.empty()) {
    settings.token = newToken();
  } else if (std::string error; !loadTokenFile(tokenFile, settings.token, error)) {
    std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
    return kCannotServe;
  }
  if (!mqtt.follow.empty()) return followCars(mqtt, settings);

  FrameFeed feed(makeSharedBlockSource(), 30.0, 60.0, raceLength);
  LiveServer server(feed, settings);
  std::string error;
  if (!server.listen(error)) {
    std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
    return kCannotServe;
  }
  feed.start();
  std::shared_ptr<MqttPublisher> publisher;
  if (!mqtt.publish.empty()) {
    publisher = publishRace(feed, mqtt, settings.token, error);
    if (!publisher) {
      std::fprintf(stderr, "korvanel-live: %s\n", error.c_str());
      return kUsage;
    }
  }
  std::string host = settings.address == "0.0.0.0" ? "127.0.0.1" : settings.address;
  std::printf("korvanel-live: live timing page at http://%s:%u/\n", host.c_str(), server.port());
  std::printf("korvanel-live: snapshot at /api/v1/snapshot, stream at /api/v1/stream\n");
  std::printf("korvanel-live: command token: %s\n", settings.token.c_str());
  std::printf("korvanel-live: at most %zu connections at once\n", server.connectionLimit());
  std::fflush(stdout);
  server.run();
  publisher.reset();
  feed.stop();
  std::printf("korvanel-live: stopped\n");
  return 0;
}

// korvanel-live's network side: HTTP (the page, the snapshot, commands) and
// the WebSocket stream, on one Asio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/live/frame_feed.h"

namespace korvanel::tools::live {

// Connections open at once unless --max-connections says otherwise; the
// process's descriptor limit may lower it (see LiveServer::connectionLimit).
constexpr size_t kDefaultMaxConnections = 2000;

struct ServerSettings {
  std::string address = "127.0.0.1";
  uint16_t port = 8765;                     // 0: any free port
  std::string token;                        // commands need it
  std::vector<std::string> allowedHosts;    // Host names beside the server's own
  std::vector<std::string> allowedOrigins;  // pages elsewhere that may use it
  size_t maxConnections = kDefaultMaxConnections;
};

class LiveServer {
 public:
  LiveServer(FrameSource& feed, ServerSettings settings);
  ~LiveServer();

  // Binds and listens. Returns false with `error` set when the address or
  // port cannot be used.
  bool listen(std::string& error);
  // The port actually bound (after listen).
  uint16_t port() const;
  // Connections served at once (after listen): the setting, or fewer when
  // the process may not open that many descriptors. Beyond it, new
  // connections wait in the system's queue until one closes.
  size_t connectionLimit() const;
  // Serves until stop() or SIGINT/SIGTERM. Whatever one connection's
  // handling throws closes that connection and is logged to stderr; the
  // others are served on.
  void run();
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korvanel::tools::live

// korvanel-live's network side: HTTP (the page, the snapshot, commands) and
// the WebSocket stream, on one Asio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/live/frame_feed.h"

namespace korvanel::tools::live {

struct ServerSettings {
  std::string address = "127.0.0.1";
  uint16_t port = 8765;  // 0: any free port
  std::string token;     // commands need it
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
  // Serves until stop() or SIGINT/SIGTERM.
  void run();
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korvanel::tools::live

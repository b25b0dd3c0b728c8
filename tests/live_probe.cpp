// A client of korvanel-live for its tests: WebSocket streams and their
// rates, many clients at once (one of which never reads), raw bad requests,
// and a comparison of a served snapshot with the monitor's copy of the block.
//
//   live_probe stream PORT RATE SECONDS PARTS     frames at the rate asked, only the parts asked;
//                                                with "delta" in PARTS, a delta moving each frame
//   live_probe load PORT CLIENTS RATE SECONDS [PARTS]  CLIENTS readers and one that never reads
//   live_probe bad PORT TOKEN                     bad requests get their statuses
//   live_probe ws-command PORT TOKEN JSON         prints the reply's status
//   live_probe same SNAPSHOT MONITOR_JSON         standings, gaps and records agree
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

int failures = 0;
void fail(const std::string& what) {
  ++failures;
  std::printf("FAIL: %s\n", what.c_str());
}

// A stream client counting its frames, asynchronously, so hundreds fit in one thread.
struct Reader : std::enable_shared_from_this<Reader> {
  Reader(net::io_context& io, int port, std::string target, bool reads)
      : ws(io), port(port), target(std::move(target)), reads(reads) {}
  websocket::stream<tcp::socket> ws;
  int port;
  std::string target;
  bool reads;
  bool parseAll = true;
  beast::flat_buffer buffer;
  int frames = 0;
  std::vector<std::string> keys;  // of the last frame
  int deltaMoves = 0;             // frames whose delta's lap distance moved
  double lastDistance = -1.0;
  bool bad = false;

  void start() {
    beast::error_code ec;
    ws.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)}, ec);
    if (!ec) ws.handshake("127.0.0.1", target, ec);
    if (ec) {
      bad = true;
      return;
    }
    if (!reads) {
      // Shrink the receive window so the server's writes back up soon.
      ws.next_layer().set_option(net::socket_base::receive_buffer_size(4096), ec);
      return;
    }
    read();
  }
  void read() {
    ws.async_read(buffer, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) return;
      // Under load only the first frame is parsed: the probe must not be
      // what limits the rate.
      std::string text = beast::buffers_to_string(self->buffer.data());
      self->buffer.consume(self->buffer.size());
      if (!self->parseAll && self->frames > 0) {
        if (text.empty() || text[0] != '{') self->bad = true;
        ++self->frames;
        return self->read();
      }
      json doc = json::parse(text, nullptr, false);
      if (doc.is_discarded() || !doc.is_object()) {
        self->bad = true;
      } else if (!doc.contains("reply")) {
        ++self->frames;
        self->keys.clear();
        for (auto& item : doc.items()) self->keys.push_back(item.key());
        double distance = doc.value("/delta/lapDistance"_json_pointer, -1.0);
        if (distance != self->lastDistance) ++self->deltaMoves;
        self->lastDistance = distance;
      }
      self->read();
    });
  }
};

std::string streamTarget(int rate, const std::string& parts) {
  return "/api/v1/stream?rate=" + std::to_string(rate) + (parts.empty() ? "" : "&parts=" + parts);
}

// Each client's handlers run one after the other, so threads need no strand.
void runFor(net::io_context& io, double seconds, int threads = 1) {
  io.restart();
  auto span =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back([&] { io.run_for(span); });
  io.run_for(span);
  for (auto& t : pool) t.join();
}

int stream(int port, int rate, double seconds, const std::string& parts) {
  net::io_context io;
  auto reader = std::make_shared<Reader>(io, port, streamTarget(rate, parts), true);
  reader->start();
  if (reader->bad) {
    fail("cannot open the stream");
    return 1;
  }
  runFor(io, 1.0);  // settle
  int before = reader->frames, movesBefore = reader->deltaMoves;
  runFor(io, seconds);
  double fps = (reader->frames - before) / seconds;
  std::printf("stream at %d/s asked: %.1f frames a second\n", rate, fps);
  // A car on track: the engineer's delta moves with every frame.
  if (parts.find("delta") != std::string::npos) {
    double moves = (reader->deltaMoves - movesBefore) / seconds;
    std::printf("the delta moved %.1f times a second\n", moves);
    if (moves < rate * 0.75) fail("the delta moved " + std::to_string(moves) + " times a second");
  }
  // Under the sanitizers (LIVE_LOAD_FIGURES=report) the server runs several
  // times slower than shipped: the rate is reported, the frames' contents
  // still checked.
  const char* figures = std::getenv("LIVE_LOAD_FIGURES");
  bool checkRate = figures == nullptr || std::string(figures) != "report";
  if (fps < rate * 0.75 || fps > rate * 1.1) {
    if (checkRate) {
      fail("frame rate " + std::to_string(fps));
    } else {
      std::printf("frame rate reported, not checked\n");
    }
  }
  bool all = parts.empty() || parts == "all";
  bool wantsVehicles = all || parts.find("standings") != std::string::npos;
  bool hasVehicles = std::count(reader->keys.begin(), reader->keys.end(), "vehicles") > 0;
  bool hasRecords = std::count(reader->keys.begin(), reader->keys.end(), "timeTable") > 0;
  if (wantsVehicles != hasVehicles) fail("vehicles sent against the parts asked");
  if ((all || parts.find("records") != std::string::npos) != hasRecords)
    fail("records against the parts asked");
  if (reader->bad) fail("a frame was not a JSON object");
  return failures ? 1 : 0;
}

int load(int port, int clients, int rate, double seconds, const std::string& parts) {
  net::io_context io;
  std::vector<std::shared_ptr<Reader>> readers;
  auto idle = std::make_shared<Reader>(io, port, streamTarget(rate, ""), false);
  idle->start();
  for (int i = 0; i < clients; ++i) {
    readers.push_back(std::make_shared<Reader>(io, port, streamTarget(rate, parts), true));
    readers.back()->parseAll = false;
    readers.back()->start();
  }
  runFor(io, 1.0);
  std::vector<int> before;
  for (auto& r : readers) before.push_back(r->frames);
  auto start = Clock::now();
  runFor(io, seconds, 2);
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> fps;
  for (size_t i = 0; i < readers.size(); ++i) {
    if (readers[i]->bad) fail("client " + std::to_string(i) + " failed");
    fps.push_back((readers[i]->frames - before[i]) / elapsed);
  }
  std::sort(fps.begin(), fps.end());
  double median = fps[fps.size() / 2];
  std::printf(
      "%d clients at %d/s for %.0f s, one never reading: frames a second min %.1f, "
      "median %.1f, max %.1f\n",
      clients, rate, elapsed, fps.front(), median, fps.back());
  // Shared, busy machines: the bound is loose, a stalled server fails it.
  if (median < rate * 0.6) fail("median frame rate too low");
  if (fps.front() < rate * 0.3) fail("a client was starved");
  return failures ? 1 : 0;
}

// One raw exchange; returns the status code of the reply (0: none).
int exchange(int port, const std::string& bytes) {
  net::io_context io;
  tcp::socket socket(io);
  beast::error_code ec;
  socket.connect({net::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)}, ec);
  if (ec) return 0;
  net::write(socket, net::buffer(bytes), ec);
  std::string reply;
  char chunk[4096];
  for (;;) {
    size_t n = socket.read_some(net::buffer(chunk), ec);
    reply.append(chunk, n);
    if (ec || reply.find("\r\n") != std::string::npos) break;
  }
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0) return 0;
  return std::atoi(reply.c_str() + 9);
}

std::string post(const std::string& path, const std::string& token, const std::string& body) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
         (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") +
         "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string get(const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra + "\r\n";
}

int bad(int port, const std::string& token) {
  const std::string upgrade =
      "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    int status;
  } cases[] = {
      {"garbage request line", "HELLO THERE\r\n\r\n", 400},
      {"header of 20 KiB", get("/api/v1/snapshot", "X-Big: " + std::string(20000, 'a') + "\r\n"),
       431},
      {"body of 10 KiB", post("/api/v1/command", token, std::string(10000, ' ')), 413},
      {"unknown path", get("/api/v2/everything"), 404},
      {"wrong method",
       "DELETE /api/v1/snapshot HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 405},
      {"command by GET", get("/api/v1/command"), 405},
      {"stream without upgrade", get("/api/v1/stream"), 426},
      {"stream rate 0",
       "GET /api/v1/stream?rate=0 HTTP/1.1\r\nHost: 127.0.0.1\r\n" + upgrade + "\r\n", 400},
      {"stream rate 61",
       "GET /api/v1/stream?rate=61 HTTP/1.1\r\nHost: 127.0.0.1\r\n" + upgrade + "\r\n", 400},
      {"stream unknown part",
       "GET /api/v1/stream?parts=weather HTTP/1.1\r\nHost: 127.0.0.1\r\n" + upgrade + "\r\n", 400},
      {"snapshot unknown option", get("/api/v1/snapshot?colour=red"), 400},
      {"command without token", post("/api/v1/command", "", R"({"classRow":1})"), 401},
      {"command with a wrong token", post("/api/v1/command", token + "x", R"({"classRow":1})"),
       403},
      {"invalid JSON", post("/api/v1/command", token, R"({"classRow":)"), 400},
      {"class row 256", post("/api/v1/command", token, R"({"classRow":256})"), 422},
      {"class row -1", post("/api/v1/command", token, R"({"classRow":-1})"), 422},
      {"class row as text", post("/api/v1/command", token, R"({"classRow":"2"})"), 422},
      {"unknown KERS switch", post("/api/v1/command", token, R"({"kers":"boost"})"), 422},
      {"valid and invalid together", post("/api/v1/command", token, R"({"classRow":1,"kers":"x"})"),
       422},
      {"unknown command", post("/api/v1/command", token, R"({"pitNow":true})"), 422},
      {"not an object", post("/api/v1/command", token, R"([1,2])"), 422},
      {"race of 0 laps", get("/api/v1/snapshot?race=0L"), 400},
      {"race without a unit", get("/api/v1/snapshot?race=30"), 400},
      {"race length in hours", post("/api/v1/command", token, R"({"raceLength":{"hours":1}})"),
       422},
      {"class row with a race of 0 laps",
       post("/api/v1/command", token, R"({"classRow":1,"raceLength":{"laps":0}})"), 422},
  };
  for (const Case& c : cases) {
    int status = exchange(port, c.bytes);
    if (status != c.status) {
      fail(std::string(c.what) + ": status " + std::to_string(status) + ", expected " +
           std::to_string(c.status));
    }
  }
  std::printf("%zu bad requests answered\n", sizeof cases / sizeof cases[0]);
  return failures ? 1 : 0;
}

int wsCommand(int port, const std::string& token, const std::string& command) {
  net::io_context io;
  websocket::stream<tcp::socket> ws(io);
  ws.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)});
  ws.handshake("127.0.0.1", "/api/v1/stream?rate=1&parts=session");
  json message = {{"command", json::parse(command)}};
  if (!token.empty()) message["token"] = token;
  ws.write(net::buffer(message.dump()));
  beast::flat_buffer buffer;
  for (;;) {
    ws.read(buffer);
    json doc = json::parse(beast::buffers_to_string(buffer.data()));
    buffer.consume(buffer.size());
    if (doc.contains("reply")) {
      std::printf("%d\n", doc["reply"]["status"].get<int>());
      return 0;
    }
  }
}

json load(const std::string& path) {
  std::ifstream in(path);
  return json::parse(in);
}

int same(const std::string& served, const std::string& monitored) {
  json a = load(served), b = load(monitored);
  if (a["schemaVersion"] != b["schemaVersion"] || !a.contains("whole")) fail("envelope differs");
  const char* fields[] = {"driverName",
                          "place",
                          "classPosition",
                          "inClassGroup",
                          "timeBehindClassLeader",
                          "lapDiffToClassLeader",
                          "timeBehindClassAhead",
                          "timeGapToPlayer",
                          "lapGapToPlayer",
                          "bestLapTime",
                          "lapsCompleted"};
  if (a["vehicles"].size() != b["vehicles"].size() || a["vehicles"].empty()) {
    fail("number of vehicles differs");
    return 1;
  }
  for (size_t i = 0; i < a["vehicles"].size(); ++i) {
    for (const char* f : fields) {
      if (a["vehicles"][i][f] != b["vehicles"][i][f]) {
        fail("vehicle " + std::to_string(i) + " " + f + ": " + a["vehicles"][i][f].dump() +
             " served, " + b["vehicles"][i][f].dump() + " in the block");
      }
    }
  }
  if (a["timeTable"] != b["timeTable"]) fail("timing table differs");
  if (a["sectorRecords"] != b["sectorRecords"]) fail("sector records differ");
  if (a["scoring"] != b["scoring"]) fail("scoring tail differs");
  std::printf("snapshot of %zu cars agrees with the block\n", a["vehicles"].size());
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  try {
    if (a.size() == 5 && a[0] == "stream")
      return stream(std::stoi(a[1]), std::stoi(a[2]), std::stod(a[3]), a[4]);
    if ((a.size() == 5 || a.size() == 6) && a[0] == "load")
      return load(std::stoi(a[1]), std::stoi(a[2]), std::stoi(a[3]), std::stod(a[4]),
                  a.size() == 6 ? a[5] : "");
    if (a.size() == 3 && a[0] == "bad") return bad(std::stoi(a[1]), a[2]);
    if (a.size() == 4 && a[0] == "ws-command") return wsCommand(std::stoi(a[1]), a[2], a[3]);
    if (a.size() == 3 && a[0] == "same") return same(a[1], a[2]);
  } catch (const std::exception& e) {
    std::printf("FAIL: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: see the top of live_probe.cpp\n");
  return 2;
}

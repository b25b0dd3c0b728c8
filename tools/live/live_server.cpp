// Boost.Beast on Asio, one I/O thread. Every client has at most one write
// in flight and remembers only the id of the last frame it sent: a client
// that reads slowly skips frames, one that never reads holds one frame, and
// neither costs the others or the reader anything. A request's bytes never
// reach an encoder that throws, and what a handler throws all the same ends
// its own connection only.
#include "tools/live/live_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>

#include "tools/live/access_guard.h"
#include "tools/live/live_requests.h"
#include "tools/live/web_assets.h"
#include "tools/platform/descriptor_limit.h"

namespace korvanel::tools::live {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;

constexpr size_t kHeaderLimit = 8 * 1024;
constexpr size_t kBodyLimit = 4 * 1024;
constexpr size_t kMessageLimit = 4 * 1024;
constexpr size_t kRepliesPending = 8;
constexpr auto kRequestTimeout = std::chrono::seconds(30);
// Descriptors kept for everything but connections: the standard streams,
// the acceptor, Asio's own, the block's, the log.
constexpr size_t kDescriptorsKept = 32;
// Waits after a failed accept (out of descriptors or memory): doubling from
// the first to the last, so that a server at its limit sleeps instead of spinning.
constexpr auto kAcceptBackoffFirst = std::chrono::milliseconds(10);
constexpr auto kAcceptBackoffLast = std::chrono::milliseconds(1000);
// Failures logged in full; after these, every thousandth.
constexpr uint64_t kFaultsLogged = 20;

constexpr std::string_view kSnapshotPath = "/api/v1/snapshot";
constexpr std::string_view kStreamPath = "/api/v1/stream";
constexpr std::string_view kCommandPath = "/api/v1/command";
constexpr std::string_view kCarsPath = "/api/v1/cars";

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// JSON text of a document that may hold a request's bytes: invalid UTF-8
// becomes U+FFFD instead of an exception.
std::string jsonText(const json& document) {
  return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string errorText(int status, const std::string& reason) {
  return jsonText(json{{"status", status}, {"error", reason}});
}

// Logs a failure that ended one connection, or one turn of the network
// loop, with every byte outside printable ASCII escaped.
void reportFault(const char* where, const char* what) {
  static std::atomic<uint64_t> count{0};
  uint64_t n = ++count;
  if (n > kFaultsLogged && n % 1000 != 0) return;
  std::string text;
  for (const char* c = what; *c; ++c) {
    unsigned char b = static_cast<unsigned char>(*c);
    if (b >= 0x20 && b < 0x7f) {
      text += *c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      text += escaped;
    }
  }
  std::fprintf(stderr, "korvanel-live: %s (failure %llu): %s\n", where,
               static_cast<unsigned long long>(n), text.c_str());
  std::fflush(stderr);
}

// Counts the connections open; the acceptor waits while they are at the
// limit and is resumed by the first to close.
class ConnectionLimit {
 public:
  void setLimit(size_t limit) { limit_ = limit; }
  size_t limit() const { return limit_; }
  bool full() const { return open_ >= limit_; }
  void opened() { ++open_; }
  void closed() {
    --open_;
    if (resume_ && !full() && !stopped_) {
      auto resume = std::move(resume_);
      resume_ = nullptr;
      resume();
    }
  }
  void waitForRoom(std::function<void()> resume) { resume_ = std::move(resume); }
  // After the network loop ended: closing connections resume nothing.
  void stop() {
    stopped_ = true;
    resume_ = nullptr;
  }

 private:
  size_t limit_ = kDefaultMaxConnections;
  size_t open_ = 0;
  bool stopped_ = false;
  std::function<void()> resume_;
};

// One connection's place under the limit, held by its session (HTTP, then
// the stream it may become) and given back when that ends.
class ConnectionSlot {
 public:
  explicit ConnectionSlot(ConnectionLimit& limit) : limit_(limit) { limit_.opened(); }
  ~ConnectionSlot() { limit_.closed(); }
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

 private:
  ConnectionLimit& limit_;
};

// What every session shares with the server.
struct Services {
  FrameSource& feed;
  const std::string& token;
  const AccessGuard& guard;
};

Response makeResponse(const Request& request, http::status status, std::string body,
                      const char* type = "application/json") {
  Response response{status, request.version()};
  response.set(http::field::server, "korvanel-live");
  response.set(http::field::content_type, type);
  response.set(http::field::cache_control, "no-store");
  response.keep_alive(request.keep_alive());
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

Response errorResponse(const Request& request, int status, const std::string& reason) {
  return makeResponse(request, static_cast<http::status>(status), errorText(status, reason));
}

void splitTarget(std::string_view target, std::string_view& path, std::string_view& query) {
  size_t mark = target.find('?');
  path = target.substr(0, mark);
  query = mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

// The token of a request: "Authorization: Bearer T" or "X-Korvanel-Token: T".
std::string_view requestToken(const Request& request) {
  auto auth = request.find(http::field::authorization);
  if (auth != request.end()) {
    std::string_view value(auth->value().data(), auth->value().size());
    if (value.substr(0, 7) == "Bearer ") return value.substr(7);
  }
  auto own = request.find("X-Korvanel-Token");
  if (own != request.end()) return std::string_view(own->value().data(), own->value().size());
  return {};
}

// Carries out a command document that came with `token`; the reply's status
// is an HTTP status either way.
json runCommand(FrameSource& feed, const std::string& expected, std::string_view token,
                const json& document, const std::string& car) {
  if (token.empty()) {
    return {{"status", 401}, {"error", "commands need the token korvanel-live printed at start"}};
  }
  if (!sameToken(token, expected)) return {{"status", 403}, {"error", "wrong token"}};
  BlockCommands commands;
  std::optional<engineer::RaceLength> raceLength;
  if (Refusal r = parseCommands(document, commands, &raceLength)) {
    return {{"status", r.status}, {"error", r.reason}};
  }
  // 200 carried out; 202 passed on to a followed car's publisher.
  std::string done;
  int status = 200;
  if (raceLength) {
    CommandOutcome outcome = feed.setRaceLength(car, *raceLength, true);
    if (outcome.status / 100 != 2) return {{"status", outcome.status}, {"error", outcome.message}};
    done = outcome.message;
    status = std::max(status, outcome.status);
  }
  if (commands.any()) {
    CommandOutcome outcome = feed.command(car, commands);
    if (outcome.status / 100 != 2) return {{"status", outcome.status}, {"error", outcome.message}};
    done += (done.empty() ? "" : "\n") + outcome.message;
    status = std::max(status, outcome.status);
  }
  return {{"status", status}, {"done", done}};
}

// A race length in a request's query (race=30L) goes to the engineer
// before the answer is made; the last one given wins.
Refusal applyRace(FrameSource& feed, const StreamOptions& options) {
  if (!options.race) return {};
  CommandOutcome outcome = feed.setRaceLength(options.car, *options.race, false);
  if (outcome.status / 100 != 2) return {outcome.status, outcome.message};
  return {};
}

class StreamSession : public std::enable_shared_from_this<StreamSession> {
 public:
  StreamSession(tcp::socket socket, const Services& services, StreamOptions options,
                std::unique_ptr<ConnectionSlot> slot)
      : ws_(std::move(socket)),
        timer_(ws_.get_executor()),
        services_(services),
        options_(options),
        slot_(std::move(slot)) {}
  ~StreamSession() {
    if (counted_) services_.feed.streamRateChanged(options_.rate, 0);
  }

  void start(Request request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "korvanel-live");
    }));
    ws_.read_message_max(kMessageLimit);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
      if (ec) return;
      self->services_.feed.streamRateChanged(0, self->options_.rate);
      self->counted_ = true;
      self->guarded([&] {
        self->next_ = std::chrono::steady_clock::now();
        self->tick();
        self->read();
      });
    });
  }

 private:
  // Runs a handler's work; what it throws closes this stream alone.
  template <class Work>
  void guarded(Work&& work) {
    try {
      work();
    } catch (const std::exception& e) {
      reportFault("a stream failed and was closed", e.what());
      close();
    }
  }

  std::chrono::steady_clock::duration period() const {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / options_.rate));
  }

  void tick() {
    if (closed_) return;
    timer_.expires_at(next_);
    timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec || self->closed_) return;
      self->guarded([&] {
        auto now = std::chrono::steady_clock::now();
        self->next_ += self->period();
        if (self->next_ < now) self->next_ = now + self->period();  // behind: no burst
        self->sendFrame();
        self->tick();
      });
    });
  }

  // A frame goes out only if it is new and nothing is being written:
  // otherwise this tick's frame is lost.
  void sendFrame() {
    if (writing_) return;
    std::shared_ptr<const Frame> frame = services_.feed.latest(options_.car);
    if (!frame || frame->id() == lastSent_) return;
    lastSent_ = frame->id();
    write(frame->text(options_.parts));
  }

  void sendReplies() {
    if (writing_ || replies_.empty()) return;
    auto text = std::make_shared<const std::string>(std::move(replies_.front()));
    replies_.pop_front();
    write(std::move(text));
  }

  void write(std::shared_ptr<const std::string> text) {
    writing_ = true;
    inFlight_ = std::move(text);
    ws_.text(true);
    ws_.async_write(net::buffer(*inFlight_),
                    [self = shared_from_this()](beast::error_code ec, size_t) {
                      self->writing_ = false;
                      self->inFlight_.reset();
                      if (ec) return self->close();
                      self->guarded([&] { self->sendReplies(); });
                    });
  }

  void read() {
    ws_.async_read(incoming_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) return self->close();
      self->guarded([&] {
        std::string text = beast::buffers_to_string(self->incoming_.data());
        self->incoming_.consume(self->incoming_.size());
        self->reply(self->answer(text));
        self->read();
      });
    });
  }

  json answer(const std::string& text) {
    json message = json::parse(text, nullptr, false);
    if (message.is_discarded()) return {{"status", 400}, {"error", "the message is not JSON"}};
    if (!message.is_object()) return {{"status", 400}, {"error", "a message is a JSON object"}};
    if (message.contains("command")) {
      std::string token = message.value("token", json()).is_string()
                              ? message["token"].get<std::string>()
                              : std::string();
      return runCommand(services_.feed, services_.token, token, message["command"], options_.car);
    }
    if (!message.contains("rate") && !message.contains("parts") && !message.contains("car")) {
      return {{"status", 400}, {"error", "a message has rate, parts and/or car, or a command"}};
    }
    StreamOptions options = options_;
    if (Refusal r = parseStreamMessage(message, options)) {
      return {{"status", r.status}, {"error", r.reason}};
    }
    if (!services_.feed.latest(options.car)) return {{"status", 404}, {"error", "no such car"}};
    bool faster = options.rate != options_.rate;
    if (counted_) services_.feed.streamRateChanged(options_.rate, options.rate);
    options_ = options;
    lastSent_ = 0;  // the new parts go out at the next tick even if no update came
    if (faster) {
      next_ = std::chrono::steady_clock::now();
      timer_.cancel();
      tick();
    }
    return {{"status", 200}, {"rate", options_.rate}};
  }

  void reply(json body) {
    if (replies_.size() >= kRepliesPending) return close();  // asks without ever reading
    replies_.push_back(jsonText(json{{"reply", std::move(body)}}));
    sendReplies();
  }

  void close() {
    if (closed_) return;
    closed_ = true;
    timer_.cancel();
    beast::get_lowest_layer(ws_).close();
  }

  websocket::stream<beast::tcp_stream> ws_;
  net::steady_timer timer_;
  const Services& services_;
  StreamOptions options_;
  std::unique_ptr<ConnectionSlot> slot_;
  std::chrono::steady_clock::time_point next_;
  uint64_t lastSent_ = 0;
  bool counted_ = false;  // its rate is told to the feed
  bool writing_ = false;
  bool closed_ = false;
  std::shared_ptr<const std::string> inFlight_;
  std::deque<std::string> replies_;
  beast::flat_buffer incoming_;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, const Services& services, std::unique_ptr<ConnectionSlot> slot)
      : stream_(std::move(socket)),
        buffer_(kHeaderLimit + kBodyLimit),
        services_(services),
        slot_(std::move(slot)) {
    beast::error_code ec;
    local_ = stream_.socket().local_endpoint(ec).address();
  }

  void read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
                       try {
                         self->onRead(ec);
                       } catch (const std::exception& e) {
                         reportFault("a request failed and its connection was closed", e.what());
                         self->shutdown();
                       }
                     });
  }

 private:
  void onRead(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == net::error::eof || ec == beast::error::timeout ||
        ec == net::error::connection_reset) {
      return shutdown();
    }
    if (ec) {
      // The request could not be read whole: answer and hang up.
      Request bare;
      bare.version(11);
      bare.keep_alive(false);
      if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
        return send(errorResponse(bare, 431, "request header larger than 8 KiB"), true, false);
      }
      if (ec == http::error::body_limit) {
        return send(errorResponse(bare, 413, "request body larger than 4 KiB"), true, false);
      }
      if (ec.category() == beast::error_code(http::error::bad_target).category()) {
        return send(errorResponse(bare, 400, "malformed request: " + ec.message()), true, false);
      }
      return shutdown();
    }
    Request request = parser_->release();
    bool head = request.method() == http::verb::head;
    origin_ = header(request, http::field::origin);
    if (Refusal r = admit(request)) {
      request.keep_alive(false);
      return send(errorResponse(request, r.status, r.reason), true, head);
    }
    std::string_view path, query;
    std::string_view target(request.target().data(), request.target().size());
    splitTarget(target, path, query);
    if (path == kStreamPath && websocket::is_upgrade(request)) {
      StreamOptions options;
      if (Refusal r = parseStreamQuery(query, options)) {
        request.keep_alive(false);
        return send(errorResponse(request, r.status, r.reason), true, false);
      }
      if (!services_.feed.latest(options.car)) {
        request.keep_alive(false);
        return send(errorResponse(request, 404, "no such car: " + options.car), true, false);
      }
      if (Refusal r = applyRace(services_.feed, options)) {
        request.keep_alive(false);
        return send(errorResponse(request, r.status, r.reason), true, false);
      }
      stream_.expires_never();
      std::make_shared<StreamSession>(stream_.release_socket(), services_, options,
                                      std::move(slot_))
          ->start(std::move(request));
      return;
    }
    Response response = request.method() == http::verb::options && !origin_.empty()
                            ? preflight(request)
                            : route(request, path, query);
    if (verdict_ == OriginVerdict::kOwn || verdict_ == OriginVerdict::kAllowed) {
      response.set(http::field::access_control_allow_origin, origin_);
      response.set(http::field::vary, "Origin");
    }
    // The flag is read before the response is moved away.
    bool thenClose = !response.keep_alive();
    send(std::move(response), thenClose, head);
  }

  static std::string header(const Request& request, http::field field) {
    auto found = request.find(field);
    return found == request.end() ? std::string()
                                  : std::string(found->value().data(), found->value().size());
  }

  // Host and Origin: who may be answered at all.
  Refusal admit(const Request& request) {
    auto host = request.find(http::field::host);
    if (host == request.end()) {
      // HTTP/1.0 programs may leave it out; browsers never do.
      if (request.version() >= 11) return {400, "the request has no Host header"};
    } else if (std::string_view name(host->value().data(), host->value().size());
               !services_.guard.hostAllowed(name, local_)) {
      return {403, "the Host \"" + std::string(name) +
                       "\" is not a name of this server; korvanel-live --allow-host NAME adds one"};
    }
    verdict_ = services_.guard.origin(origin_, local_);
    if (verdict_ == OriginVerdict::kRefused) {
      return {403, "pages of " + origin_ +
                       " may not use this server; korvanel-live --allow-origin ORIGIN allows them"};
    }
    return {};
  }

  // A browser asking whether a page of another origin may send a request.
  // Only admitted origins get here.
  Response preflight(const Request& request) {
    Response response = makeResponse(request, http::status::no_content, "");
    response.erase(http::field::content_type);
    response.erase(http::field::content_length);  // a 204 has no body to measure
    response.set(http::field::access_control_allow_methods, "GET, HEAD, POST");
    response.set(http::field::access_control_allow_headers,
                 "Authorization, Content-Type, X-Korvanel-Token");
    response.set(http::field::access_control_max_age, "600");
    // A page on the internet reaching this computer: the browser asks
    // this before it lets the request through.
    if (request.find("Access-Control-Request-Private-Network") != request.end()) {
      response.set("Access-Control-Allow-Private-Network", "true");
    }
    return response;
  }

  Response route(const Request& request, std::string_view path, std::string_view query) {
    http::verb method = request.method();
    bool get = method == http::verb::get || method == http::verb::head;
    auto notAllowed = [&](const char* allow) {
      Response r = errorResponse(request, 405, std::string("method not allowed; use ") + allow);
      r.set(http::field::allow, allow);
      return r;
    };
    if (path == kSnapshotPath) {
      if (!get) return notAllowed("GET");
      StreamOptions options;
      if (Refusal r = parseStreamQuery(query, options)) {
        return errorResponse(request, r.status, r.reason);
      }
      if (!services_.feed.latest(options.car)) {
        return errorResponse(request, 404, "no such car: " + options.car);
      }
      if (Refusal r = applyRace(services_.feed, options)) {
        return errorResponse(request, r.status, r.reason);
      }
      std::shared_ptr<const Frame> frame = services_.feed.latest(options.car);
      auto text = frame->text(options.parts);
      Response r = makeResponse(
          request, frame->hasPicture() ? http::status::ok : http::status::service_unavailable,
          *text);
      return r;
    }
    if (path == kCommandPath) {
      if (method != http::verb::post) return notAllowed("POST");
      json document = json::parse(request.body(), nullptr, false);
      std::string_view token = requestToken(request);
      const std::string& expected = services_.token;
      // The token before the body: without it nothing about the body is told.
      if (token.empty() || !sameToken(token, expected)) {
        json refusal = runCommand(services_.feed, expected, token, json(), std::string());
        return errorResponse(request, refusal["status"], refusal["error"]);
      }
      if (document.is_discarded()) {
        return errorResponse(request, 400, "the body is not JSON");
      }
      StreamOptions target;
      if (Refusal r = parseStreamQuery(query, target)) {
        return errorResponse(request, r.status, r.reason);
      }
      json outcome = runCommand(services_.feed, expected, token, document, target.car);
      int status = outcome["status"];
      return makeResponse(request, static_cast<http::status>(status), jsonText(outcome));
    }
    if (path == kCarsPath) {
      if (!get) return notAllowed("GET");
      std::string cars = services_.feed.carsText();
      if (cars.empty()) return errorResponse(request, 404, "this korvanel-live serves one car");
      return makeResponse(request, http::status::ok, std::move(cars));
    }
    if (path == kStreamPath) {
      Response r = errorResponse(request, 426, "this is a WebSocket endpoint");
      r.set(http::field::upgrade, "websocket");
      return r;
    }
    if (const WebAsset* asset = findWebAsset(path)) {
      if (!get) return notAllowed("GET");
      return makeResponse(request, http::status::ok, std::string(asset->content),
                          asset->contentType);
    }
    return errorResponse(request, 404, "no such path: " + std::string(path));
  }

  // Writes `response`; for HEAD its header alone, Content-Length that of
  // the body a GET would have had.
  void send(Response response, bool thenClose, bool headersOnly) {
    if (headersOnly) {
      return write(std::make_shared<http::response<http::empty_body>>(std::move(response.base())),
                   thenClose);
    }
    write(std::make_shared<Response>(std::move(response)), thenClose);
  }

  template <class Message>
  void write(std::shared_ptr<Message> held, bool thenClose) {
    http::async_write(stream_, *held,
                      [self = shared_from_this(), held, thenClose](beast::error_code ec, size_t) {
                        if (ec || thenClose) return self->shutdown();
                        self->read();
                      });
  }

  void shutdown() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  const Services& services_;
  std::unique_ptr<ConnectionSlot> slot_;
  net::ip::address local_;
  std::string origin_;
  OriginVerdict verdict_ = OriginVerdict::kAbsent;
};

}  // namespace

struct LiveServer::State {
  State(FrameSource& f, ServerSettings s)
      : feed(f),
        settings(std::move(s)),
        guard(AccessSettings{settings.address, settings.allowedHosts, settings.allowedOrigins}),
        services{feed, settings.token, guard} {}
  FrameSource& feed;
  ServerSettings settings;
  AccessGuard guard;
  Services services;
  // Before the I/O context: sessions it destroys give their slots back here.
  ConnectionLimit limit;
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::steady_timer backoff{io};
  std::chrono::milliseconds backoffWait{0};
  net::signal_set signals{io, SIGINT, SIGTERM};

  void accept() {
    if (!acceptor.is_open()) return;
    if (limit.full()) {
      limit.waitForRoom([this] { accept(); });
      return;
    }
    acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
      if (ec && ec != net::error::connection_aborted) return pause(ec);
      backoffWait = std::chrono::milliseconds(0);
      if (!ec) {
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto slot = std::make_unique<ConnectionSlot>(limit);
        std::make_shared<HttpSession>(std::move(socket), services, std::move(slot))->read();
      }
      accept();
    });
  }

  // Out of descriptors (EMFILE, ENFILE) or memory: the pending connection
  // stays queued and the next try waits, instead of failing again at once.
  void pause(const beast::error_code& ec) {
    bool first = backoffWait.count() == 0;
    backoffWait = first ? kAcceptBackoffFirst : std::min(backoffWait * 2, kAcceptBackoffLast);
    if (first) {
      std::fprintf(stderr, "korvanel-live: cannot accept a connection (%s): trying again shortly\n",
                   ec.message().c_str());
      std::fflush(stderr);
    }
    backoff.expires_after(backoffWait);
    backoff.async_wait([this](beast::error_code wait) {
      if (!wait) accept();
    });
  }
};

LiveServer::LiveServer(FrameSource& feed, ServerSettings settings)
    : state_(std::make_unique<State>(feed, std::move(settings))) {}

LiveServer::~LiveServer() = default;

bool LiveServer::listen(std::string& error) {
  beast::error_code ec;
  net::ip::address address = net::ip::make_address(state_->settings.address, ec);
  if (ec) {
    error = "not an IP address: " + state_->settings.address;
    return false;
  }
  size_t wanted = state_->settings.maxConnections;
  size_t descriptors = raiseDescriptorLimit(wanted + kDescriptorsKept);
  if (descriptors != 0) {
    if (descriptors <= kDescriptorsKept) {
      error = "the process may open only " + std::to_string(descriptors) + " files";
      return false;
    }
    wanted = std::min(wanted, descriptors - kDescriptorsKept);
  }
  state_->limit.setLimit(wanted);
  tcp::endpoint endpoint{address, state_->settings.port};
  tcp::acceptor& a = state_->acceptor;
  a.open(endpoint.protocol(), ec);
  if (!ec) a.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(net::socket_base::max_listen_connections, ec);
  if (!ec) {
    state_->guard.setPort(port());
    return true;
  }
  error = "cannot listen on " + state_->settings.address + ":" +
          std::to_string(state_->settings.port) + ": " + ec.message();
  return false;
}

uint16_t LiveServer::port() const {
  beast::error_code ec;
  return state_->acceptor.local_endpoint(ec).port();
}

size_t LiveServer::connectionLimit() const { return state_->limit.limit(); }

void LiveServer::run() {
  state_->signals.async_wait([this](beast::error_code, int) { stop(); });
  state_->accept();
  for (;;) {
    try {
      state_->io.run();
      break;
    } catch (const std::exception& e) {
      // A handler outside the sessions' own guards: the connection it
      // belonged to is gone with it; the loop goes on.
      reportFault("a network handler failed; serving goes on", e.what());
    }
  }
  state_->limit.stop();
}

void LiveServer::stop() {
  net::post(state_->io, [this] {
    beast::error_code ignored;
    state_->acceptor.close(ignored);
    state_->backoff.cancel();
    state_->io.stop();
  });
}

}  // namespace korvanel::tools::live

// Boost.Beast on Asio, one I/O thread. Every client has at most one write
// in flight and remembers only the id of the last frame it sent: a client
// that reads slowly skips frames, one that never reads holds one frame, and
// neither costs the others or the reader anything.
#include "tools/live/live_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <csignal>
#include <deque>
#include <optional>

#include "tools/live/live_requests.h"
#include "tools/live/web_assets.h"

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

constexpr std::string_view kSnapshotPath = "/api/v1/snapshot";
constexpr std::string_view kStreamPath = "/api/v1/stream";
constexpr std::string_view kCommandPath = "/api/v1/command";
constexpr std::string_view kCarsPath = "/api/v1/cars";

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

std::string errorText(int status, const std::string& reason) {
  return json{{"status", status}, {"error", reason}}.dump();
}

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
  if (Refusal r = parseCommands(document, commands)) {
    return {{"status", r.status}, {"error", r.reason}};
  }
  CommandOutcome outcome = feed.command(car, commands);
  if (outcome.status != 200) return {{"status", outcome.status}, {"error", outcome.message}};
  return {{"status", 200}, {"done", outcome.message}};
}

class StreamSession : public std::enable_shared_from_this<StreamSession> {
 public:
  StreamSession(tcp::socket socket, FrameSource& feed, const std::string& token,
                StreamOptions options)
      : ws_(std::move(socket)),
        timer_(ws_.get_executor()),
        feed_(feed),
        token_(token),
        options_(options) {}

  void start(Request request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "korvanel-live");
    }));
    ws_.read_message_max(kMessageLimit);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
      if (ec) return;
      self->next_ = std::chrono::steady_clock::now();
      self->tick();
      self->read();
    });
  }

 private:
  std::chrono::steady_clock::duration period() const {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / options_.rate));
  }

  void tick() {
    if (closed_) return;
    timer_.expires_at(next_);
    timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec || self->closed_) return;
      auto now = std::chrono::steady_clock::now();
      self->next_ += self->period();
      if (self->next_ < now) self->next_ = now + self->period();  // behind: no burst
      self->sendFrame();
      self->tick();
    });
  }

  // A frame goes out only if it is new and nothing is being written:
  // otherwise this tick's frame is lost.
  void sendFrame() {
    if (writing_) return;
    std::shared_ptr<const Frame> frame = feed_.latest(options_.car);
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
                      self->sendReplies();
                    });
  }

  void read() {
    ws_.async_read(incoming_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) return self->close();
      std::string text = beast::buffers_to_string(self->incoming_.data());
      self->incoming_.consume(self->incoming_.size());
      self->reply(self->answer(text));
      self->read();
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
      return runCommand(feed_, token_, token, message["command"], options_.car);
    }
    if (!message.contains("rate") && !message.contains("parts") && !message.contains("car")) {
      return {{"status", 400}, {"error", "a message has rate, parts and/or car, or a command"}};
    }
    StreamOptions options = options_;
    if (Refusal r = parseStreamMessage(message, options)) {
      return {{"status", r.status}, {"error", r.reason}};
    }
    if (!feed_.latest(options.car)) return {{"status", 404}, {"error", "no such car"}};
    bool faster = options.rate != options_.rate;
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
    replies_.push_back(json{{"reply", std::move(body)}}.dump());
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
  FrameSource& feed_;
  const std::string& token_;
  StreamOptions options_;
  std::chrono::steady_clock::time_point next_;
  uint64_t lastSent_ = 0;
  bool writing_ = false;
  bool closed_ = false;
  std::shared_ptr<const std::string> inFlight_;
  std::deque<std::string> replies_;
  beast::flat_buffer incoming_;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, FrameSource& feed, const std::string& token)
      : stream_(std::move(socket)),
        buffer_(kHeaderLimit + kBodyLimit),
        feed_(feed),
        token_(token) {}

  void read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(kRequestTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->onRead(ec); });
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
        return send(errorResponse(bare, 431, "request header larger than 8 KiB"), true);
      }
      if (ec == http::error::body_limit) {
        return send(errorResponse(bare, 413, "request body larger than 4 KiB"), true);
      }
      if (ec.category() == beast::error_code(http::error::bad_target).category()) {
        return send(errorResponse(bare, 400, "malformed request: " + ec.message()), true);
      }
      return shutdown();
    }
    Request request = parser_->release();
    std::string_view path, query;
    std::string_view target(request.target().data(), request.target().size());
    splitTarget(target, path, query);
    if (path == kStreamPath && websocket::is_upgrade(request)) {
      StreamOptions options;
      if (Refusal r = parseStreamQuery(query, options)) {
        request.keep_alive(false);
        return send(errorResponse(request, r.status, r.reason), true);
      }
      if (!feed_.latest(options.car)) {
        request.keep_alive(false);
        return send(errorResponse(request, 404, "no such car: " + options.car), true);
      }
      stream_.expires_never();
      std::make_shared<StreamSession>(stream_.release_socket(), feed_, token_, options)
          ->start(std::move(request));
      return;
    }
    Response response = route(request, path, query);
    send(std::move(response), !response.keep_alive());
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
      std::shared_ptr<const Frame> frame = feed_.latest(options.car);
      if (!frame) return errorResponse(request, 404, "no such car: " + options.car);
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
      // The token before the body: without it nothing about the body is told.
      if (token.empty() || !sameToken(token, token_)) {
        json refusal = runCommand(feed_, token_, token, json(), std::string());
        return errorResponse(request, refusal["status"], refusal["error"]);
      }
      if (document.is_discarded()) {
        return errorResponse(request, 400, "the body is not JSON");
      }
      StreamOptions target;
      if (Refusal r = parseStreamQuery(query, target)) {
        return errorResponse(request, r.status, r.reason);
      }
      json outcome = runCommand(feed_, token_, token, document, target.car);
      int status = outcome["status"];
      return makeResponse(request, static_cast<http::status>(status), outcome.dump());
    }
    if (path == kCarsPath) {
      if (!get) return notAllowed("GET");
      std::string cars = feed_.carsText();
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

  void send(Response response, bool thenClose) {
    auto held = std::make_shared<Response>(std::move(response));
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
  FrameSource& feed_;
  const std::string& token_;
};

}  // namespace

struct LiveServer::State {
  State(FrameSource& f, ServerSettings s) : feed(f), settings(std::move(s)) {}
  FrameSource& feed;
  ServerSettings settings;
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::signal_set signals{io, SIGINT, SIGTERM};

  void accept() {
    acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
      if (!ec) {
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<HttpSession>(std::move(socket), feed, settings.token)->read();
      }
      if (acceptor.is_open()) accept();
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
  tcp::endpoint endpoint{address, state_->settings.port};
  tcp::acceptor& a = state_->acceptor;
  a.open(endpoint.protocol(), ec);
  if (!ec) a.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(net::socket_base::max_listen_connections, ec);
  if (!ec) return true;
  error = "cannot listen on " + state_->settings.address + ":" +
          std::to_string(state_->settings.port) + ": " + ec.message();
  return false;
}

uint16_t LiveServer::port() const {
  beast::error_code ec;
  return state_->acceptor.local_endpoint(ec).port();
}

void LiveServer::run() {
  state_->signals.async_wait([this](beast::error_code, int) { stop(); });
  state_->accept();
  state_->io.run();
}

void LiveServer::stop() {
  net::post(state_->io, [this] {
    beast::error_code ignored;
    state_->acceptor.close(ignored);
    state_->io.stop();
  });
}

}  // namespace korvanel::tools::live

// Who may use korvanel-live. Requests must name this server in their Host
// header, so that a web page whose DNS name is turned to point at this
// computer ("DNS rebinding") is refused; and a browser's request must come
// from one of the server's own pages or from an origin the user allowed,
// so that other web pages cannot read the race or open the stream.
#pragma once

#include <boost/asio/ip/address.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvanel::tools::live {

struct AccessSettings {
  std::string listenAddress;                // the address served on (--listen)
  std::vector<std::string> allowedHosts;    // more names of this computer (--allow-host)
  std::vector<std::string> allowedOrigins;  // origins of pages elsewhere (--allow-origin)
};

// Where a request's Origin header puts it.
enum class OriginVerdict {
  kAbsent,   // no Origin: not a browser's cross-origin request
  kOwn,      // a page this server serves, under any of its names
  kAllowed,  // an origin the user allowed
  kRefused,
};

class AccessGuard {
 public:
  explicit AccessGuard(AccessSettings settings);

  // The port served on, once known: own pages' origins carry it.
  void setPort(uint16_t port) { port_ = port; }

  // True when `host` (a Host header: a name or address, with or without a
  // port) is one of this server's: localhost, a loopback address, `local`
  // (the address the client reached), the listen address, or an allowed
  // host. Names compare without case; any port is accepted.
  bool hostAllowed(std::string_view host, const boost::asio::ip::address& local) const;

  // The verdict on an Origin header's value (empty when the header is
  // absent) for a request that reached `local`. Own: "http://" + a name
  // hostAllowed accepts + ":" + this server's port.
  OriginVerdict origin(std::string_view origin, const boost::asio::ip::address& local) const;

 private:
  bool ownName(std::string_view name, const boost::asio::ip::address& local) const;

  AccessSettings settings_;
  uint16_t port_ = 0;
};

// `origin` as browsers send it, for comparison: "scheme://host[:port]" in
// lower case without a trailing slash, or "null". Empty when `origin` is
// neither (a path, a query, no scheme), which --allow-origin refuses.
std::string normalOrigin(std::string_view origin);

}  // namespace korvanel::tools::live

// Host and Origin checks. Addresses compare as addresses, so 127.0.0.1 and
// ::ffff:127.0.0.1 are one; names compare as lower-case text.
#include "tools/live/access_guard.h"

#include <algorithm>
#include <cctype>

namespace korvanel::tools::live {
namespace {

namespace ip = boost::asio::ip;

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Splits "name", "name:port", "[v6]" or "[v6]:port". False when malformed.
bool splitHostPort(std::string_view text, std::string_view& name, std::string_view& port) {
  port = {};
  if (text.empty()) return false;
  std::string_view rest;
  if (text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    name = text.substr(1, close - 1);
    rest = text.substr(close + 1);
  } else {
    size_t colon = text.find(':');
    name = text.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
  }
  if (!rest.empty()) {
    if (rest.front() != ':') return false;
    port = rest.substr(1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
  }
  return !name.empty();
}

ip::address plain(const ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return ip::make_address_v4(ip::v4_mapped, address.to_v6());
  }
  return address;
}

}  // namespace

AccessGuard::AccessGuard(AccessSettings settings) : settings_(std::move(settings)) {
  for (std::string& host : settings_.allowedHosts) host = lower(host);
  for (std::string& origin : settings_.allowedOrigins) origin = normalOrigin(origin);
}

bool AccessGuard::ownName(std::string_view name, const ip::address& local) const {
  std::string n = lower(name);
  if (!n.empty() && n.back() == '.') n.pop_back();
  if (n == "localhost") return true;
  boost::system::error_code ec;
  ip::address address = ip::make_address(n, ec);
  if (!ec) {
    address = plain(address);
    if (address.is_loopback() || address == plain(local)) return true;
    ip::address listen = ip::make_address(settings_.listenAddress, ec);
    if (!ec && !listen.is_unspecified() && plain(listen) == address) return true;
  }
  return std::find(settings_.allowedHosts.begin(), settings_.allowedHosts.end(), n) !=
         settings_.allowedHosts.end();
}

bool AccessGuard::hostAllowed(std::string_view host, const ip::address& local) const {
  std::string_view name, port;
  return splitHostPort(host, name, port) && ownName(name, local);
}

OriginVerdict AccessGuard::origin(std::string_view origin, const ip::address& local) const {
  if (origin.empty()) return OriginVerdict::kAbsent;
  std::string normal = normalOrigin(origin);
  if (normal.empty()) return OriginVerdict::kRefused;
  if (std::find(settings_.allowedOrigins.begin(), settings_.allowedOrigins.end(), normal) !=
      settings_.allowedOrigins.end()) {
    return OriginVerdict::kAllowed;
  }
  constexpr std::string_view kHttp = "http://";
  if (normal.compare(0, kHttp.size(), kHttp) != 0) return OriginVerdict::kRefused;
  std::string_view name, port;
  if (!splitHostPort(std::string_view(normal).substr(kHttp.size()), name, port)) {
    return OriginVerdict::kRefused;
  }
  unsigned number = port.empty() ? 80 : static_cast<unsigned>(std::stoul(std::string(port)));
  return number == port_ && ownName(name, local) ? OriginVerdict::kOwn : OriginVerdict::kRefused;
}

std::string normalOrigin(std::string_view origin) {
  std::string normal = lower(origin);
  if (normal == "null") return normal;
  if (!normal.empty() && normal.back() == '/') normal.pop_back();
  size_t scheme = normal.find("://");
  if (scheme == std::string::npos || scheme == 0) return {};
  std::string_view authority = std::string_view(normal).substr(scheme + 3);
  std::string_view name, port;
  if (authority.find_first_of("/?#@") != std::string_view::npos ||
      !splitHostPort(authority, name, port)) {
    return {};
  }
  return normal;
}

}  // namespace korvanel::tools::live

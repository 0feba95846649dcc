#include "data/ServerAddress.h"

namespace kv {

namespace {

bool IsPort(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

TServerAddress SplitServerAddress(std::string_view server) {
  TServerAddress out{std::string(server), std::string()};
  if (!server.empty() && server.front() == '[') {
    const size_t close = server.find(']');
    if (close == std::string_view::npos) return out;
    const std::string_view rest = server.substr(close + 1);
    if (rest.empty()) {
      out.Host = std::string(server.substr(1, close - 1));
    } else if (rest.front() == ':' && IsPort(rest.substr(1))) {
      out.Host = std::string(server.substr(1, close - 1));
      out.Port = std::string(rest.substr(1));
    }
    return out;
  }
  const size_t colon = server.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return out;
  // Two colons or more outside brackets: an IPv6 address, never a port.
  const bool socketFolder = server.front() == '/';
  if (!socketFolder && server.find(':') != colon) return out;
  if (!IsPort(server.substr(colon + 1))) return out;
  out.Host = std::string(server.substr(0, colon));
  out.Port = std::string(server.substr(colon + 1));
  return out;
}

}  // namespace kv

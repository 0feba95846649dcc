// The host and port a server name gives, as the PostgreSQL and ODBC
// connections take it.
#pragma once

#include <string>
#include <string_view>

#include "KVCore_export.h"

namespace kv {

struct KVCORE_EXPORT TServerAddress {
  std::string Host;  // as written, without the brackets of an IPv6 address
  std::string Port;  // digits; empty when the name gives none
};

// Splits a server name:
//   "host", "host:5432"             -> host, and the port when one is given;
//   "[::1]", "[::1]:5432"           -> an IPv6 address in brackets, and a port after them;
//   "::1", "fe80::1"                -> an IPv6 address without brackets (more than one
//                                      colon): the whole name is the host, no port;
//   "/run/postgresql:5433"          -> a socket folder and its port.
// A part after the last colon that is not all digits belongs to the host
// ("h:x1" is one host name); so does a name in brackets followed by
// anything but ":digits" ("[::1]x" is left whole).
KVCORE_EXPORT TServerAddress SplitServerAddress(std::string_view server);

}  // namespace kv

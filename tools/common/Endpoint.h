#pragma once
// A server's UDP address as operators write it: HOST or HOST:PORT.

#include <string>

#include "platform/SocketAddress.h"

namespace tool {

// The port of the shipped demo event, used when HOST has no ":PORT".
constexpr int kDefaultPort = 6666;

// Resolves `text` (a dotted address or a host name) to one IPv4 address. On failure returns false
// with a one-line reason in `error`.
bool resolveEndpoint(const std::string& text, SocketAddress& out, std::string& error);

std::string describe(const SocketAddress& address);

}  // namespace tool

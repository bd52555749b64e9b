#include "common/Endpoint.h"

#include <charconv>
#include <vector>

#include "platform/Platform.h"

namespace tool {

bool resolveEndpoint(const std::string& text, SocketAddress& out, std::string& error) {
    std::string host = text;
    int port = kDefaultPort;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        const std::string digits = text.substr(colon + 1);
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (ec != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535) {
            error = "bad port in \"" + text + "\"";
            return false;
        }
    }
    if (host.empty()) {
        error = "no host in \"" + text + "\"";
        return false;
    }
    uint32_t ip = platform::parseDotted(host);
    if (ip == 0xffffffffu) {
        std::vector<std::string> addresses;
        if (!platform::hostAddresses(host, addresses)) {
            error = "cannot resolve host \"" + host + "\"";
            return false;
        }
        ip = platform::parseDotted(addresses.front());
    }
    out = SocketAddress::fromHost(ip, uint16_t(port));
    return true;
}

std::string describe(const SocketAddress& address) {
    return address.dotted() + ":" + std::to_string(address.port());
}

}  // namespace tool

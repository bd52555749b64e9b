// Announcing the server to the outside lobby and withdrawing it again.
#include "records/LobbyRegistration.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "protocol/ByteWriter.h"
#include "protocol/LobbyLayouts.h"
#include "runtime/CRVServer.h"

namespace {

constexpr int kFurtherAttempts = 5;

// "a.b.c.d" or "a.b.c.d:port"; the port defaults to the lobby's. Anything else is the
// loopback address, where a lobby on this host would listen.
SocketAddress lobbyAddress(const std::string& host) {
    const size_t colon = host.find(':');
    uint32_t ip = platform::parseDotted(host.substr(0, colon));
    int port = colon == std::string::npos ? kLobbyPort : std::atoi(host.c_str() + colon + 1);
    if (ip == 0xffffffffu || port <= 0 || port > 0xffff) {
        std::printf("LOBBY UDPHOST=%s is not an IPv4 address, using 127.0.0.1\n", host.c_str());
        ip = 0x7f000001;
        port = kLobbyPort;
    }
    return SocketAddress::fromHost(ip, uint16_t(port));
}

}  // namespace

void announceToLobby(OVSocket& socket, const SocketAddress& lobby, const uint8_t* message, int size,
                     bool& answered, int passesPerAttempt) {
    socket.setTarget(lobby, 0);
    socket.send(message, size);
    answered = false;
    // The answer arrives on the server's own socket and goes through the normal handler, which
    // sets the flag. Further attempts go to a lobby on this host.
    int attempts = 0;
    int passes = 0;
    while (!answered && attempts < kFurtherAttempts) {
        socket.receive(1);
        platform::sleepMs(1);
        if (++passes > passesPerAttempt) {
            socket.setTarget("127.0.0.1", kLobbyPort);
            socket.send(message, size);
            ++attempts;
            passes = 0;
        }
    }
}

void CRVServer::registerWithLobby() {
    // Under a fleet host the port clients reach is known, and perhaps bound, only later.
    if (fleet && fleetPort == 0) {
        lobbyWaitsForPort = true;
        return;
    }
    uint8_t message[lobby_register::kSize];
    ByteWriter w(message, sizeof message);
    w.u8(config.car == lobby_register::kSingleMakeCar ? lobby_register::kTypeSingleMake
                                                      : lobby_register::kType);
    w.text(config.name, lobby_register::kNameWidth);
    w.u32(startTick);

    announceToLobby(router.socket, lobbyAddress(config.lobbyUdpHost), message, int(sizeof message),
                    registeredWithLobby);
}

std::string requestLobbyRemoval(const std::string& httpHost, int port, long connectTimeoutMs,
                                long totalTimeoutMs) {
    CHTTPReader reader(connectTimeoutMs, totalTimeoutMs);
    reader.read("http://" + httpHost +
                "/rVTPRO/rVTPRO.RemoveServer.php?&i=0&p=" + std::to_string(port));
    return reader.text();
}

void CRVServer::unregisterFromLobby() {
    if (!config.registerWithLobby)
        return;
    std::printf("%s", requestLobbyRemoval(config.lobbyHttpHost, publicPort()).c_str());
}

// The event under a fleet host: its port settled from the GameServer before it says ready, and
// its first session held until the fleet hands it to someone.
#include <cstdio>
#include <string>

#include "fleet/FleetSdk.h"
#include "runtime/CRVServer.h"

std::string fleetPortProblem(const FleetGameServer& server, const FleetPortDeclaration& declared,
                             uint16_t bound, uint16_t& port) {
    if (server.ports.size() != 1)
        return "the GameServer names " + std::to_string(server.ports.size()) +
               " ports where the event needs exactly one";
    port = server.ports.front();
    if (!declared.passthrough && declared.containerPort != 0 && declared.containerPort != bound)
        return "the server bound UDP port " + std::to_string(bound) +
               " but the fleet forwards to containerPort " + std::to_string(declared.containerPort);
    return "";
}

void CRVServer::stepFleet() {
    FleetGameServer server;
    const bool known = fleet->gameServer(server);
    if (known && fleetPort == 0 && !fleetPortRefused)
        settleFleetPort(server);
    if (holding && fleetPort != 0 && known && server.state == "Allocated") {
        holding = false;
        std::printf("Fleet: allocated%s, the first session begins\n",
                    server.event.empty() ? "" : (" for " + server.event).c_str());
        logger.log("ALLOCATED," + server.event, 0);
        evolveSession();
    }
    tellFleet();
}

void CRVServer::settleFleetPort(const FleetGameServer& server) {
    uint16_t port = 0;
    const uint16_t bound = router.socket.boundPort();
    std::string problem = fleetPortProblem(server, fleet->declared, bound, port);
    if (problem.empty() && fleet->declared.passthrough && port != bound &&
        !router.socket.rebind(port)) {
        router.socket.rebind(bound);  // status queries still find the event where they did
        problem = "UDP port " + std::to_string(port) + " could not be bound";
    }
    if (!problem.empty()) {
        std::printf("Fleet: %s; the event does not say ready\n", problem.c_str());
        fleetPortRefused = true;
        return;
    }
    fleetPort = port;
    std::printf("Fleet: clients reach this event on port %d\n", int(port));
    // The lobby hears the datagram from the port clients reach, so it waited for it.
    if (lobbyWaitsForPort) {
        lobbyWaitsForPort = false;
        registerWithLobby();
    }
    fleet->ready();
}

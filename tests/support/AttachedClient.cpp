#include "support/AttachedClient.h"

#include <cstdio>

CRVClientConnection* attachClient(CRVServer& server, const SocketAddress& address,
                                  const std::string& name, bool spectator) {
    auto* client = new CRVClientConnection();
    client->server = &server;
    client->id = server.joinCounter++;
    for (int s = 0; s < CRVServer::kSlots; ++s)
        if (!server.slotTaken[s]) {
            server.slotTaken[s] = true;
            client->slot = uint8_t(s);
            break;
        }
    std::snprintf(client->userName, sizeof client->userName, "%s", name.c_str());
    std::snprintf(client->guid, sizeof client->guid, "guid-%s", name.c_str());
    client->isSpectator = spectator;
    client->focusId = client->id;
    client->setAddress(&address);
    client->lastSeenTime = server.serverTime;
    server.clients.push_back(client);
    server.rankingList.push_back(client);
    return client;
}

// Clients leave the server in one way only: a client that signed off or went silent, and one
// that fell short of a session's required laps, are released the same way.
#include <cstdio>
#include <vector>

#include "race/ClientRemoval.h"

#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"
#include "util/RecordText.h"

void CRVServer::removeClient(CRVClientConnection* client) {
    if (client->slot < kSlots)
        slotTaken[client->slot] = false;
    std::erase(rankingList, client);
    std::erase(qualifyList, client);
    vote.forget(client);
    router.removeQueuedFor(client);
    std::erase(clients, client);
    // The client may be removed from inside one of its own handlers (an admin moving the event
    // to the next session); the object lives until the next turn so that handler can return.
    removedClients.push_back(client);
}

void CRVServer::releaseRemovedClients() {
    for (CRVClientConnection* client : removedClients)
        delete client;
    removedClients.clear();
}

void CRVServer::checkLostClients() {
    for (CRVClientConnection* c : clients) {
        // Replayed clients have nobody behind them to fall silent, and a client without an
        // address cannot be heard from at all.
        if (c->isReplayed || c->address.port() == 0)
            continue;
        if (!c->hasLeft && serverTime - c->lastSeenTime < kSilenceLimitMs)
            continue;
        std::printf("freeing slot %d %d %d\n", int(c->slot), int(serverTime), int(c->lastSeenTime));
        logger.log("LOST," + recordText(c->guid), 1);
        removeClient(c);
        std::printf("Clients=%d\n", int(clients.size()));
        return;
    }
}

// Announcing the server to the outside lobby and withdrawing it again.
#include "runtime/CRVServer.h"

// Not yet connected to a lobby: the event runs as a private server.
void CRVServer::registerWithLobby() {
    registeredWithLobby = false;
}

void CRVServer::withdrawFromLobby() {}

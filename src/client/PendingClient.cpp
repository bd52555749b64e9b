// Placeholder until client message handling lands.
#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"

void CRVClientConnection::onMessage(uint8_t*, int, const SocketAddress*) {}
bool CRVClientConnection::acceptCarUpdate(const uint8_t*) {
    return true;
}
void CRVClientConnection::sendMegapacket() {}
void CRVClientConnection::sendRaceEvent(uint8_t) {}
void CRVServer::sendStarBasicInfos(CRVClientConnection*) {}
void CRVServer::sendSessionInfo(CRVClientConnection*) {}
void CRVServer::sendClientList(CRVClientConnection*, int, bool) {}
CRVClientConnection* CRVServer::findClient(int) const {
    return nullptr;
}

// The replay recorder's hooks in the server turn. Recording and playback are not built yet, so
// the hooks keep their place in the turn order and do nothing.
#include "runtime/CRVServer.h"

void CRVServer::startReplayRecorder() {}
void CRVServer::recordReceived(const uint8_t*, int, const SocketAddress*) {}
void CRVServer::stepReplayPlayback() {}
void CRVServer::closeReplayRecorder() {}

// The replay recorder's hooks in the server turn.
#include "records/CRVServerRecorder.h"
#include "runtime/CRVServer.h"

void CRVServer::startReplayRecorder() {
    recorder = std::make_unique<CRVServerRecorder>(this);
    recorder->setup();
}

void CRVServer::recordReceived(const uint8_t* data, int size, const SocketAddress* source) {
    if (recorder)
        recorder->record(source, data, size);
}

void CRVServer::stepReplayPlayback() {
    if (recorder)
        recorder->playStep();
}

void CRVServer::closeReplayRecorder() {
    if (!recorder)
        return;
    recorder->close();
    recorder.reset();
}

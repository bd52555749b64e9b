// The replay recorder's hooks in the server turn.
#include "records/CRVServerRecorder.h"
#include "runtime/CRVServer.h"
#include "runtime/ServerConfig.h"

void CRVServer::startReplayRecorder() {
    recorder = std::make_unique<CRVServerRecorder>([this] { return serverTime; },
                                                   [this](RecordedMessage& m) { playRecorded(m); });
    const bool playBack = recorderPlaybackConfigured(root);
    const std::string file = path(CRVServerRecorder::kRecordingFile);
    // Each start records anew; the last run's recording (a crashed event's) is kept beside it.
    if (!playBack)
        keepEarlier(file, "recording");
    recorder->setup(playBack, file, files, &writeFaults);
}

void CRVServer::onReceived(const uint8_t* data, int size, const SocketAddress* source) {
    if (recorder)
        recorder->record(source, data, size);
}

void CRVServer::playRecorded(RecordedMessage& m) {
    router.deliverRecorded(m.data.data(), int(m.data.size()), &m.sender);
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

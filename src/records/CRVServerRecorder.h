#pragma once
// The replay recorder: every received message goes into server/replay/out.rvsr with its arrival
// time and sender, and a later run can feed that file back through the router on the same time
// line, as if the recorded clients were connected.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "records/RecordingReader.h"

class CRVServer;

class CRVServerRecorder {
  public:
    static constexpr int kHeaderSize = RecordingReader::kHeaderSize;
    static constexpr uint32_t kMaxMessage = RecordingReader::kMaxMessage;
    static constexpr int32_t kMaxGapMs = 20000;
    static constexpr char kRecordingFile[] = "server/replay/out.rvsr";

    // True when cfg/rvserverrecorder.ini under `root` asks for playback (LOAD=1).
    static bool playbackConfigured(const std::string& root);

    explicit CRVServerRecorder(CRVServer* server) : server_(server) {}
    virtual ~CRVServerRecorder();
    CRVServerRecorder(const CRVServerRecorder&) = delete;
    CRVServerRecorder& operator=(const CRVServerRecorder&) = delete;

    // Reads cfg/rvserverrecorder.ini: LOAD=1 plays the last recording back, anything else
    // starts a new one.
    void setup();
    void record(const SocketAddress* sender, const uint8_t* data, int size);
    void load(const std::string& path);
    // Plays at most one message whose time has come.
    void playStep();
    void close();

    bool playback = false;
    std::deque<RecordedMessage> playList;

  private:
    std::FILE* file_ = nullptr;
    CRVServer* server_;
};

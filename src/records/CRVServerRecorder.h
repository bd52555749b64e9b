#pragma once
// The replay recorder: every received message goes into server/replay/out.rvsr with its arrival
// time and sender, and a later run can feed that file back through the router on the same time
// line, as if the recorded clients were connected.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "records/AppendFile.h"
#include "records/RecordingReader.h"
#include "transport/Clock.h"

class CRVServerRecorder {
  public:
    static constexpr int kHeaderSize = RecordingReader::kHeaderSize;
    static constexpr uint32_t kMaxMessage = RecordingReader::kMaxMessage;
    static constexpr int32_t kMaxGapMs = 20000;
    static constexpr char kRecordingFile[] = "server/replay/out.rvsr";

    // Hands a message whose time has come to the server's routing.
    using Delivery = std::function<void(RecordedMessage& m)>;

    // A recorder that only loads; it records nothing and plays nothing.
    CRVServerRecorder() = default;
    // Stamps what it records with `now`; plays back through `deliver`.
    CRVServerRecorder(ServerTimeSource now, Delivery deliver)
        : now_(std::move(now)), deliver_(std::move(deliver)) {}
    virtual ~CRVServerRecorder();
    CRVServerRecorder(const CRVServerRecorder&) = delete;
    CRVServerRecorder& operator=(const CRVServerRecorder&) = delete;

    // Plays the recording at `path` back, or starts a new one there, written through `files`.
    void setup(bool playBack, const std::string& path,
               platform::Files& files = platform::systemFiles(), WriteFaults* faults = nullptr);
    void record(const SocketAddress* sender, const uint8_t* data, int size);
    void load(const std::string& path);
    // Plays at most one message whose time has come.
    void playStep();
    // Writes out what is buffered; a disk that refuses it ends the recording.
    void flush();
    void close();

    bool playback = false;
    std::deque<RecordedMessage> playList;

  private:
    int64_t now() const { return now_ ? now_() : 0; }

    // The recording ends at its last whole record, with one console line.
    void stop();

    AppendFile file_;
    // The size of each record since the last flush that wrote everything.
    std::vector<uint32_t> unflushed_;
    ServerTimeSource now_;
    Delivery deliver_;
};

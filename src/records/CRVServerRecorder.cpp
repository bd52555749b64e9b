#include "records/CRVServerRecorder.h"

#include "protocol/ByteWriter.h"

CRVServerRecorder::~CRVServerRecorder() {
    close();
}

void CRVServerRecorder::setup(bool playBack, const std::string& path, platform::Files& files,
                              WriteFaults* faults) {
    if (playBack) {
        playback = true;
        load(path);
        return;
    }
    if (!file_.open(files, path, "out.rvsr", faults))
        std::printf("Error opening out.rvsr\n");
}

void CRVServerRecorder::record(const SocketAddress* sender, const uint8_t* data, int size) {
    if (playback)
        return;
    if (size < 1 || uint32_t(size) > kMaxMessage) {
        std::printf("SUSPICIOUS MESSAGE WITH SIZE=%d, IGNORE AND DON'T RECORD IT\n", size);
        return;
    }
    if (!file_.isOpen())
        return;
    uint8_t header[kHeaderSize];
    ByteWriter w(header, sizeof header);
    w.u32(uint32_t(now()));
    w.u32(uint32_t(size));
    const SocketAddress from = sender != nullptr ? *sender : SocketAddress();
    w.bytes(from.raw, sizeof from.raw);
    w.u32(0);
    // The main loop flushes once a second; a crash loses at most that much of the recording.
    unflushed_.push_back(uint32_t(sizeof header) + uint32_t(size));
    if (!file_.append(header, sizeof header) || !file_.append(data, size_t(size)))
        stop();
    else if (file_.pending() == 0)
        unflushed_.clear();  // the buffer filled and went out whole
}

void CRVServerRecorder::flush() {
    if (!file_.isOpen())
        return;
    if (!file_.flush())
        stop();
    unflushed_.clear();
}

void CRVServerRecorder::stop() {
    std::printf("Recording stopped: %s; out.rvsr ends at its last whole message\n",
                platform::errorText(file_.lastError()).c_str());
    uint64_t whole = file_.wholeSize();
    for (uint32_t record : unflushed_) {
        if (whole + record > file_.size())
            break;
        whole += record;
    }
    file_.abandon(whole);
    unflushed_.clear();
}

void CRVServerRecorder::load(const std::string& path) {
    std::printf("LOADING %s\n", path.c_str());
    RecordingReader reader(path);
    bool first = true;
    uint32_t lastKept = 0;
    for (;;) {
        RecordedMessage m;
        const RecordingReader::Next next = reader.next(m);
        if (next == RecordingReader::Next::End || next == RecordingReader::Next::Cut)
            break;
        if (next == RecordingReader::Next::Oversized) {
            std::printf("SUSPICIOUS MESSAGE WITH SIZE=%d, IGNORE AND DON'T RECORD IT\n",
                        int(reader.declaredSize()));
            continue;
        }
        if (m.data.empty())
            std::printf("Message size is 0 %d\n", int(m.time));
        if (first) {
            lastKept = m.time;
            first = false;
        }
        // A long silence means the recording was stopped and resumed; playback ends there.
        if (int32_t(m.time - lastKept) <= kMaxGapMs) {
            lastKept = m.time;
            playList.push_back(std::move(m));
        } else {
            std::printf("st: %d lt:%d %d\n", int(m.time), int(lastKept),
                        m.data.empty() ? 0 : int(m.data[0]));
        }
    }
}

void CRVServerRecorder::playStep() {
    if (playList.empty() || int64_t(int32_t(playList.front().time)) > now())
        return;
    RecordedMessage m = std::move(playList.front());
    playList.pop_front();
    if (deliver_)
        deliver_(m);
}

void CRVServerRecorder::close() {
    flush();
    file_.close();
    playList.clear();
}

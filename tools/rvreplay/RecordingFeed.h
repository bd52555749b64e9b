#pragma once
// The messages of a recording, in arrival order, handed to the server's socket once the
// virtual clock has reached their time.

#include <cstdint>
#include <string>

#include "records/RecordingReader.h"
#include "transport/OVSocket.h"

class RecordingFeed : public MessageFeed {
  public:
    // Reads the first `count` records of the recording at `path` (the part checked readable).
    RecordingFeed(const std::string& path, uint64_t count);

    bool next(uint8_t*& data, int& size, SocketAddress& from) override;
    void setNow(uint32_t now) { now_ = now; }
    bool exhausted() const { return !hasAhead_; }
    // Arrival time of the next message; only meaningful while not exhausted.
    uint32_t nextTime() const { return ahead_.time; }
    uint64_t delivered() const { return delivered_; }

  private:
    void readAhead();

    RecordingReader reader_;
    uint64_t left_;
    RecordedMessage ahead_;
    RecordedMessage current_;
    bool hasAhead_ = false;
    uint32_t now_ = 0;
    uint64_t delivered_ = 0;
};

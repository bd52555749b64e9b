#pragma once
// Reads a recording one record at a time, as the recorder wrote it: time, size, the sender's
// address, a zero word, then the message.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

struct RecordedMessage {
    uint32_t time = 0;
    SocketAddress sender;
    std::vector<uint8_t> data;
};

class RecordingReader {
  public:
    static constexpr int kHeaderSize = 28;
    // The socket never delivers more; anything larger in a recording is damage.
    static constexpr uint32_t kMaxMessage = 1023;

    enum class Next {
        Record,     // `m` holds the next message
        Oversized,  // a record larger than any message was skipped; see declaredSize()
        End,        // the file ends after the last record
        Cut,        // the file ends inside a record
    };

    explicit RecordingReader(const std::string& path);
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    uint64_t fileSize() const { return size_; }
    // Bytes read so far: where the next record starts.
    uint64_t offset() const { return size_ - left_; }
    uint32_t declaredSize() const { return declared_; }
    // Every size is measured against what is left of the file, so a damaged size can neither
    // make the reader allocate more than the file holds nor read past its end.
    Next next(RecordedMessage& m);

  private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    uint64_t left_ = 0;
    uint32_t declared_ = 0;
};

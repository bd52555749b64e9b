#include "rvreplay/RecordingFeed.h"

#include <utility>

RecordingFeed::RecordingFeed(const std::string& path, uint64_t count)
    : reader_(path), left_(count) {
    readAhead();
}

void RecordingFeed::readAhead() {
    hasAhead_ = left_ > 0 && reader_.next(ahead_) == RecordingReader::Next::Record;
    if (hasAhead_)
        --left_;
}

bool RecordingFeed::next(uint8_t*& data, int& size, SocketAddress& from) {
    if (!hasAhead_ || ahead_.time > now_)
        return false;
    std::swap(current_, ahead_);
    readAhead();
    data = current_.data.data();
    size = int(current_.data.size());
    from = current_.sender;
    ++delivered_;
    return true;
}

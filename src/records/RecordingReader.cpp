#include "records/RecordingReader.h"

#include "protocol/ByteReader.h"

RecordingReader::RecordingReader(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr)
        return;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);  // recordings of a long event run to 100s of MB
    std::fseek(file_, 0, SEEK_END);
    const long end = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    size_ = left_ = end > 0 ? uint64_t(end) : 0;
}

RecordingReader::~RecordingReader() {
    if (file_ != nullptr)
        std::fclose(file_);
}

RecordingReader::Next RecordingReader::next(RecordedMessage& m) {
    if (file_ == nullptr || left_ == 0)
        return Next::End;
    uint8_t header[kHeaderSize];
    if (left_ < kHeaderSize || std::fread(header, 1, sizeof header, file_) != sizeof header)
        return Next::Cut;
    left_ -= kHeaderSize;
    ByteReader r(header, sizeof header);
    m.time = r.u32();
    declared_ = r.u32();
    for (uint8_t& b : m.sender.raw)
        b = r.u8();
    if (declared_ > left_)
        return Next::Cut;
    if (declared_ > kMaxMessage) {
        std::fseek(file_, long(declared_), SEEK_CUR);
        left_ -= declared_;
        return Next::Oversized;
    }
    m.data.resize(declared_);
    if (declared_ > 0 && std::fread(m.data.data(), 1, declared_, file_) != declared_)
        return Next::Cut;
    left_ -= declared_;
    return Next::Record;
}

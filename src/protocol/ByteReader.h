#pragma once
// Little-endian field reader over a received message. A read past the end yields zero and marks
// the reader short: handlers read fixed offsets of messages that may be shorter than expected,
// and the missing bytes count as zero.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class ByteReader {
  public:
    ByteReader(const uint8_t* data, int size)
        : data_(data), size_(size > 0 && data != nullptr ? size_t(size) : 0) {}

    uint8_t u8() {
        uint8_t b = 0;
        get(&b, 1);
        return b;
    }
    uint16_t u16() {
        uint8_t b[2];
        get(b, 2);
        return uint16_t(b[0] | (b[1] << 8));
    }
    uint32_t u32() {
        uint8_t b[4];
        get(b, 4);
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
               (uint32_t(b[3]) << 24);
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    float f32() {
        uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // A NUL-terminated text in a field of `width` bytes: stops at the first zero, at the end of
    // the field or at the end of the message, whichever comes first; the cursor moves past the
    // whole field.
    std::string text(size_t width) {
        std::string out;
        for (size_t i = 0; i < width; ++i) {
            size_t at = pos_ + i;
            if (at >= size_ || data_[at] == 0)
                break;
            out.push_back(static_cast<char>(data_[at]));
        }
        skip(width);
        return out;
    }
    void skip(size_t n) {
        if (n > size_ - std::min(pos_, size_))
            short_ = true;
        pos_ += n;
    }
    void seek(size_t pos) { pos_ = pos; }

    size_t position() const { return pos_; }
    size_t size() const { return size_; }
    bool isShort() const { return short_; }

  private:
    void get(uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            size_t at = pos_ + i;
            if (at < size_) {
                out[i] = data_[at];
            } else {
                out[i] = 0;
                short_ = true;
            }
        }
        pos_ += n;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool short_ = false;
};

#pragma once
// Little-endian field writer over a caller-owned buffer. Every message the server builds goes
// through it; writes past the capacity are dropped and mark the writer as overflowed, so a
// wrong layout can never write out of bounds.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class ByteWriter {
  public:
    ByteWriter(uint8_t* buffer, size_t capacity) : buf_(buffer), cap_(capacity) {}

    void u8(uint8_t v) { put(&v, 1); }
    void u16(uint16_t v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        put(b, 2);
    }
    void u32(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        put(b, 4);
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void bytes(const void* data, size_t n) { put(static_cast<const uint8_t*>(data), n); }
    // A text in a fixed field of `width` bytes: cut to width - 1 characters, NUL-terminated,
    // the rest of the field zero.
    void text(std::string_view s, size_t width) {
        if (width == 0)
            return;
        size_t n = s.size() < width - 1 ? s.size() : width - 1;
        put(reinterpret_cast<const uint8_t*>(s.data()), n);
        zeros(width - n);
    }
    void zeros(size_t n) {
        for (size_t i = 0; i < n; ++i)
            u8(0);
    }
    // Moves the cursor to an absolute offset (within the capacity); used by layouts with gaps.
    void seek(size_t pos) {
        if (pos <= cap_) {
            pos_ = pos;
        } else {
            overflow_ = true;
        }
    }

    size_t size() const { return pos_; }
    bool overflowed() const { return overflow_; }

  private:
    void put(const uint8_t* p, size_t n) {
        if (n > cap_ - pos_) {
            overflow_ = true;
            return;
        }
        std::memcpy(buf_ + pos_, p, n);
        pos_ += n;
    }

    uint8_t* buf_;
    size_t cap_;
    size_t pos_ = 0;
    bool overflow_ = false;
};

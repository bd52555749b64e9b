#pragma once
// A chat line on the wire: type, sender id (0 for the server itself), a length byte and the
// text without a terminator.

#include <string_view>

#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"

namespace chat_message {
constexpr size_t kSender = 1;
constexpr size_t kLength = 2;
constexpr size_t kText = 3;
constexpr size_t kMaxText = 255;  // the length travels in one byte
}  // namespace chat_message

inline void writeChat(ByteWriter& w, std::string_view text, uint8_t sender = 0) {
    const size_t n = text.size() < chat_message::kMaxText ? text.size() : chat_message::kMaxText;
    w.u8(RV_CHAT);
    w.u8(sender);
    w.u8(uint8_t(n));
    w.bytes(text.data(), n);
}

#pragma once
// Messages a simulator, a status tool or an operator sends to a server, and the chat lines it
// gets back: the builders the companion tools use, so that each layout lives in one place.

#include "common/OperatorMessages.h"
#include "common/PeerMessages.h"

using tool::adminCommand;
using tool::statusQuery;
inline Bytes lapMessage(uint32_t number, int32_t lapTime, int32_t split, int32_t total) {
    return peer::lapCompleted(number, lapTime, split, total);
}
inline Bytes chat(const std::string& text, uint8_t sender = 0) {
    return peer::chat(sender, text);
}

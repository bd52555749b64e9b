// The server's own chat announcements.
#include <cstring>

#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "runtime/CRVServer.h"

void CRVServer::sendServerChat(const std::string& text, CRVClientConnection* target) {
    // The length travels in one byte and clients show at most 63 characters: longer texts are
    // dropped rather than cut.
    if (text.size() >= 64)
        return;
    uint8_t buffer[3 + 64];
    ByteWriter w(buffer, sizeof buffer);
    w.u8(RV_CHAT);
    w.u8(0);
    w.u8(uint8_t(text.size()));
    w.bytes(reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
    router.send(target, buffer, int(w.size()), 25, false);
}

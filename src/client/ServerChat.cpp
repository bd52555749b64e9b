// The server's own chat announcements.

#include "protocol/ChatMessage.h"
#include "runtime/CRVServer.h"

void CRVServer::sendServerChat(const std::string& text, CRVClientConnection* target) {
    // The length travels in one byte and clients show at most 63 characters: longer texts are
    // dropped rather than cut.
    if (text.size() >= 64)
        return;
    uint8_t buffer[3 + 64];
    ByteWriter w(buffer, sizeof buffer);
    writeChat(w, text);
    router.send(target, buffer, int(w.size()), 25, false);
}

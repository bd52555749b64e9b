// Datagrams from senders that are not clients: status, echo, console commands, and connection
// requests that may be admitted. Byte 0 of the input picks one of 64 sender ports.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzServer.h"
#include "admission/CRVClientConnection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzServer* fuzz = [] {
        silenceConsole();
        return new FuzzServer();
    }();
    if (size < 1)
        return 0;
    const SocketAddress sender =
        SocketAddress::fromHost(0x7f000001, uint16_t(40000 + data[0] % 64));
    std::vector<uint8_t> message(data + 1, data + size);  // exactly its size, for the sanitizer
    fuzz->server->onMessage(message.data(), int(message.size()), &sender);
    fuzz->turn(data[0]);
    // Admitted clients leave again so that admission keeps being reached.
    if (fuzz->server->clients.size() > 6)
        for (CRVClientConnection* c : fuzz->server->clients)
            c->hasLeft = true;
    return 0;
}

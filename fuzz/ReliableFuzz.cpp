// Real datagrams on loopback from two client sockets: reliable data, acknowledgements with any
// sequence number, and plain messages, while the server keeps sending reliable messages of its
// own so that its sequence numbers wrap. Input: [flags][length][datagram] records.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzServer.h"
#include "admission/CRVClientConnection.h"
#include "platform/Platform.h"

namespace {

struct Peers {
    platform::SocketHandle socket[2];
    uint16_t port[2];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzServer* fuzz = [] {
        silenceConsole();
        return new FuzzServer();
    }();
    static Peers peers = [] {
        Peers p{};
        for (int i = 0; i < 2; ++i) {
            p.socket[i] = platform::udpOpen();
            platform::udpBindTo(p.socket[i], 0x7f000001, 0);
            p.port[i] = platform::udpLocalPort(p.socket[i]);
        }
        return p;
    }();
    CRVServer& server = *fuzz->server;
    const SocketAddress to = SocketAddress::fromHost(0x7f000001, server.router.socket.boundPort());
    size_t at = 0;
    int sent = 0;
    while (at + 2 <= size && sent < 32) {
        const uint8_t flags = data[at];
        const size_t length = data[at + 1];
        at += 2;
        const size_t n = length < size - at ? length : size - at;
        const int from = flags & 1;
        bool known = false;
        for (const CRVClientConnection* c : server.clients)
            known |= c->address.port() == peers.port[from];
        if (!known && (flags & 2))
            fuzz->attach(peers.port[from]);
        int error = 0;
        platform::udpSendTo(peers.socket[from], data + at, int(n), to, error);
        at += n;
        ++sent;
        if (flags & 4) {
            const uint8_t note[] = {27, 0, 1, 'x'};
            server.router.send(nullptr, note, 4, 0, true);
        }
    }
    server.router.socket.waitReadable(5);
    fuzz->turn(size > 0 ? uint32_t(data[0]) * 40 : 1);
    // Drain what the server sent back so the peers' buffers never fill.
    uint8_t buffer[2048];
    SocketAddress source;
    for (int i = 0; i < 2; ++i)
        while (platform::udpPending(peers.socket[i]))
            platform::udpRecvFrom(peers.socket[i], buffer, int(sizeof buffer), source);
    fuzz->reset();
    return 0;
}

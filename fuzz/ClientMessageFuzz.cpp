// Every message type from admitted clients through their dispatcher, with turns in between so
// that laps, standings, removals, resets and votes interact. Input: a list of
// [client][clock step][length][message] records.
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
    CRVServer& server = *fuzz->server;
    size_t at = 0;
    while (at + 3 <= size) {
        while (server.clients.size() < 4)
            fuzz->attach(uint16_t(41000 + server.joinCounter));
        CRVClientConnection* client = server.clients[data[at] % server.clients.size()];
        if (data[at] & 0x80)
            client->isAdmin = true;
        const uint32_t step = uint32_t(data[at + 1]) * 20;
        const size_t length = data[at + 2];
        at += 3;
        std::vector<uint8_t> message(data + at,
                                     data + at + (length < size - at ? length : size - at));
        at += message.size();
        if (!message.empty())
            client->onMessage(message.data(), int(message.size()), &client->address);
        fuzz->turn(step);
    }
    fuzz->settle();
    return 0;
}

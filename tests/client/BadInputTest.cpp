#include <random>

#include "support/RaceFixture.h"

// Each message sits in a heap block of exactly its size, so the sanitizer build flags any
// handler that reads past the datagram.
TEST_F(ClientTest, ArbitraryMessagesNeverReadPastTheDatagram) {
    CRVClientConnection* a = attach("A");
    CRVClientConnection* s = attach("S", true);
    std::mt19937 random(20240611);
    StdoutCapture quiet;
    for (int type = 0; type < 256; ++type)
        for (int size = 0; size <= 64; ++size)
            for (CRVClientConnection* target : {a, s}) {
                auto message = Bytes(size_t(size), uint8_t(type));
                for (int i = 1; i < size; ++i)
                    message[size_t(i)] = uint8_t(random());
                target->onMessage(message.data(), size, &target->address);
            }
    quiet.take();
    take();
    server().serverTime += 3000;  // the flood has spent the sender's chat budget

    // Relayed as it came, never as long as its length byte claims.
    const Bytes cut = {RV_CHAT, 0, 250, 'a', 'b', 'c'};
    EXPECT_EQ(deliver(a, cut), "char length=250\n[A]: abc\n");
    EXPECT_EQ(take(), (Sent{{a, cut}, {s, cut}}));
}

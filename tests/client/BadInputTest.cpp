#include <random>

#include "client/ClientFixture.h"

// Each message sits in a heap block of exactly its size, so the sanitizer build flags any
// handler that reads past the datagram.
TEST_F(ClientTest, ArbitraryMessagesNeverReadPastTheDatagram) {
    CRVClientConnection* a = attach("A");
    CRVClientConnection* s = attach("S", true);
    std::mt19937 random(20240611);
    {
        StdoutCapture quiet;
        for (int type = 0; type < 256; ++type) {
            for (int size = 0; size <= 64; ++size)
                for (CRVClientConnection* target : {a, s}) {
                    auto buf = std::make_unique<uint8_t[]>(size_t(size));
                    for (int i = 0; i < size; ++i)
                        buf[size_t(i)] = i == 0 ? uint8_t(type) : uint8_t(random());
                    target->onMessage(buf.get(), size, &target->address);
                }
            harness.server->router.queue.clear();
        }
        std::unique_ptr<uint8_t[]> chat(new uint8_t[6]{RV_CHAT, 0, 250, 'a', 'b', 'c'});
        a->onMessage(chat.get(), 6, nullptr);
        quiet.take();
    }
    auto q = take();  // relayed as it came, never as long as its length byte claims
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].bytes, bytesOf({RV_CHAT, 0, 250, 'a', 'b', 'c'}));
}

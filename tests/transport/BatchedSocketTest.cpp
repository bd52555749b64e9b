// Datagrams read and sent in batches: bad input inside a batch, the order of sends held until
// the loop rests, a kernel that takes part of a batch, and a destination the kernel refuses.

#include "runtime/NextWake.h"
#include "support/RaceFixture.h"

namespace {

// A client record that keeps every message routed to it.
struct Keeper : CRVClientConnection {
    void onMessage(uint8_t* data, int size, const SocketAddress*) override {
        got.emplace_back(data, data + size);
    }
    std::vector<Bytes> got;
};

struct Batched : ::testing::Test {
    void SetUp() override { h.start(); }
    OVSocket& socket() { return h.server->router.socket; }
    Keeper* keep(const SocketAddress& address) {
        auto* c = new Keeper();
        c->setAddress(&address);
        h.server->enlistClient(c);
        return c;
    }
    ServerHarness h;
};

// What one receiver got, whole datagrams in arrival order.
std::vector<Bytes> datagrams(TestClient& peer) {
    peer.drain(30);
    std::vector<Bytes> all;
    for (const Received& r : peer.received)
        all.push_back(r.datagram);
    peer.received.clear();
    return all;
}

}  // namespace

// Read in one go, an empty or oversized datagram still ends the turn's receive step and the
// honest ones behind it wait for the next turn; a reliable one is acknowledged first; a turn
// takes more datagrams than one read holds, in order.
TEST_F(Batched, BadDatagramsInABatchAreHandledAsWhenAloneAndOneTurnTakesSeveralReads) {
    TestClient peer(h.port());
    Keeper* k = keep(peer.address());
    peer.sendRaw({40, 1});
    peer.sendRaw({});
    peer.sendReliable({41, 2}, 9);
    peer.sendRaw(Bytes(1200, 42));
    peer.sendRaw({43, 3});
    ASSERT_TRUE(socket().waitReadable(500));
    StdoutCapture quiet;
    h.turn();
    EXPECT_EQ(k->got, (std::vector<Bytes>{{40, 1}}));
    EXPECT_TRUE(socket().hasWaiting());
    h.turn();
    h.turn();
    EXPECT_EQ(k->got, (std::vector<Bytes>{{40, 1}, {41, 2}, {43, 3}}));
    peer.drain(30);
    EXPECT_EQ(peer.acknowledgements, (std::vector<uint8_t>{9}));

    k->got.clear();
    for (int i = 0; i < 100; ++i)
        peer.sendRaw({44, uint8_t(i)});
    ASSERT_TRUE(within(500, [&] { return socket().waitReadable(0); }));
    h.turn();
    ASSERT_EQ(k->got.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(k->got[size_t(i)], (Bytes{44, uint8_t(i)}));
}

// Held sends leave at the flush in the order they were made, byte for byte what the same turns
// send one by one; a destination the kernel refuses costs its own datagram and a console line.
TEST_F(Batched, HeldSendsLeaveInTheOrderOfImmediateOnesAndARefusedAddressDropsOnlyItsOwn) {
    auto run = [](bool hold) {
        ServerHarness server;
        server.start();
        TestClient peer(server.port());
        CRVServer& s = *server.server;
        // Two records at one address: the receiver sees the order across both.
        CRVClientConnection* a = attachClient(s, peer.address(), "A");
        CRVClientConnection* b = attachClient(s, peer.address(), "B");
        const SocketAddress refused = SocketAddress::fromHost(0xffffffff, 9);
        s.router.socket.holdSends(hold);
        std::vector<std::vector<Bytes>> seen;
        std::string console = printed([&] {
            s.router.send(a, Bytes{50, 1}.data(), 2, 0, false);
            s.router.send(nullptr, Bytes{51, 2, 3}.data(), 3, 0, true);
            s.router.send(b, Bytes{52}.data(), 1, 0, false);
            s.router.socket.setTarget(refused, 0);
            s.router.socket.send(Bytes{53}.data(), 1);
            for (int turn = 0; turn < 4; ++turn)
                server.turn();
            s.router.socket.flushSends();
        });
        seen.push_back(datagrams(peer));
        s.router.socket.holdSends(false);
        return std::make_pair(seen, console);
    };
    const auto immediate = run(false);
    const auto held = run(true);
    EXPECT_EQ(held.first, immediate.first);
    ASSERT_EQ(immediate.first.size(), 1u);
    const std::vector<Bytes>& got = immediate.first[0];
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], (Bytes{50, 1}));
    EXPECT_EQ(got[1][1] + 1, got[2][1]) << "consecutive sequence numbers";
    EXPECT_EQ(Bytes(got[2].begin() + 6, got[2].end()), (Bytes{51, 2, 3}));
    EXPECT_EQ(got[3], (Bytes{52}));
    for (const auto& [seen, console] : {immediate, held})
        EXPECT_TRUE(has(console, "sendto failed 13 1\n")) << console;
}

// The kernel takes two of five and then reports a full buffer: the other three stay, in order,
// and leave at the next flush, which the loop plans within a millisecond.
TEST_F(Batched, APartlyTakenBatchIsFinishedNextTimeWithoutLossOrReordering) {
    TestClient peer(h.port());
    int calls = 0;
    socket().setBatchSender(
        [&](platform::SocketHandle s, const platform::Datagram* items, int count, int& error) {
            ++calls;
            if (calls == 1)
                return platform::udpSendBatch(s, items, std::min(count, 2), error);
            if (calls == 2) {
                error = 10035;
                return 0;
            }
            return platform::udpSendBatch(s, items, count, error);
        });
    socket().holdSends(true);
    socket().setTarget(peer.address(), 0);
    for (uint8_t i = 0; i < 5; ++i)
        socket().send(Bytes{60, i}.data(), 2);
    const std::string console = printed([&] { socket().flushSends(); });
    EXPECT_EQ(console, "");
    EXPECT_EQ(datagrams(peer), (std::vector<Bytes>{{60, 0}, {60, 1}}));
    EXPECT_EQ(socket().unsentCount(), 3u);
    EXPECT_LE(idleWaitMs(*h.server), 1);
    socket().send(Bytes{60, 5}.data(), 2);
    socket().flushSends();
    EXPECT_EQ(datagrams(peer), (std::vector<Bytes>{{60, 2}, {60, 3}, {60, 4}, {60, 5}}));
    EXPECT_EQ(socket().unsentCount(), 0u);
}

// Datagrams read and sent in batches.

#include "runtime/NextWake.h"
#include "support/RaceFixture.h"

namespace {

struct Keeper : CRVClientConnection {
    void onMessage(uint8_t* data, int size, const SocketAddress*) override {
        got.emplace_back(data, data + size);
    }
    std::vector<Bytes> got;
};

std::vector<Bytes> datagrams(TestClient& peer) {
    peer.drain(30);
    std::vector<Bytes> all;
    for (const Received& r : std::exchange(peer.received, {}))
        all.push_back(r.datagram);
    return all;
}

// A client record at `peer`'s address that keeps every message it is handed.
Keeper* keeperFor(ServerHarness& h, const TestClient& peer) {
    auto* k = new Keeper();
    const SocketAddress from = peer.address();
    k->setAddress(&from);
    h.server->enlistClient(k);
    return k;
}

}  // namespace

// An empty or oversized datagram in a batch still ends the turn's receive step, the ones behind it
// waiting for the next; a turn takes more datagrams than one read holds, in order.
TEST(BatchedSocket, BadDatagramsInABatchAreHandledAsWhenAloneAndOneTurnTakesSeveralReads) {
    ServerHarness h;
    h.start();
    TestClient peer(h.port());
    Keeper* k = keeperFor(h, peer);
    for (const Bytes& d : {Bytes{40}, Bytes{}, peer::reliable({41}, 9, 0), Bytes(1200, 42), {43}})
        peer.sendRaw(d);
    ASSERT_TRUE(h.server->router.socket.waitReadable(500));
    for (const Bytes& expected : {Bytes{40}, Bytes{41}, Bytes{43}}) {
        h.turn();
        EXPECT_EQ(k->got.back(), expected);
    }
    for (int i = 0; i < 100; ++i)
        peer.sendRaw({44, uint8_t(i)});
    h.turn();
    EXPECT_EQ(k->got.back(), (Bytes{44, 99}));
}

// Held sends leave at the flush as they would have one by one, a refused destination costing only
// its own; what a full kernel buffer left over goes at the next flush, planned within 1 ms.
TEST(BatchedSocket, HeldSendsKeepTheirOrderThroughARefusedAddressAndAPartlyTakenBatch) {
    auto run = [](bool hold) {
        ServerHarness h;
        h.start();
        TestClient peer(h.port());
        CRVServer& s = *h.server;  // two records at one address show the order across both
        CRVClientConnection* a = attachClient(s, peer.address(), "A");
        CRVClientConnection* b = attachClient(s, peer.address(), "B");
        s.router.socket.holdSends(hold);
        const std::string console = printed([&] {
            s.router.socket.setTarget(SocketAddress::fromHost(0xffffffff, 9), 0);
            s.router.socket.send(Bytes{53}.data(), 1);
            s.router.send(a, Bytes{50}.data(), 1, 0, false);
            s.router.send(nullptr, Bytes{51}.data(), 1, 0, true);
            s.router.send(b, Bytes{52}.data(), 1, 0, false);
            for (int turn = 0; turn < 4; ++turn)
                h.turn();
            s.router.socket.flushSends();
        });
        EXPECT_TRUE(has(console, "sendto failed 13 1\n")) << console;
        return datagrams(peer);
    };
    const std::vector<Bytes> immediate = run(false);
    EXPECT_EQ(run(true), immediate);
    EXPECT_EQ(immediate.size(), 4u);

    ServerHarness h;
    h.start();
    TestClient peer(h.port());
    OVSocket& socket = h.server->router.socket;
    int calls = 0;
    socket.setBatchSender([&](int s, const platform::Datagram* items, int count, int& error) {
        error = ++calls == 2 ? 10035 : 0;
        return calls == 2 ? 0 : platform::udpSendBatch(s, items, calls == 1 ? 2 : count, error);
    });
    socket.holdSends(true);
    socket.setTarget(peer.address(), 0);
    for (uint8_t i = 0; i < 5; ++i)
        socket.send(Bytes{60, i}.data(), 2);
    EXPECT_EQ(printed([&] { socket.flushSends(); }), "");
    EXPECT_EQ(datagrams(peer), (std::vector<Bytes>{{60, 0}, {60, 1}}));
    EXPECT_LE(idleWaitMs(*h.server), 1);
    socket.send(Bytes{60, 5}.data(), 2);
    socket.flushSends();
    EXPECT_EQ(datagrams(peer), (std::vector<Bytes>{{60, 2}, {60, 3}, {60, 4}, {60, 5}}));
}

// Car updates and acknowledgements come in through a socket the rest does not watch, everything
// else through the one it does; a turn takes both in the order they arrived.
TEST(BatchedSocket, DatagramsThatCanWaitAndThoseThatCannotAreTakenInArrivalOrder) {
    ServerHarness h;
    h.start();
    TestClient peer(h.port());
    Keeper* k = keeperFor(h, peer);
    const uint8_t state[peer::kCarStateSize] = {};
    const std::vector<Bytes> sent = {peer::carUpdate(1, state, 0), {40},
                                     peer::carUpdate(2, state, 0), peer::carUpdate(3, state, 2),
                                     {41},                         peer::carUpdate(4, state, 0)};
    for (int round = 0; round < 3; ++round)
        for (const Bytes& d : sent)
            peer.sendRaw(d);
    ASSERT_TRUE(h.server->router.socket.waitReadable(500));
    platform::sleepMs(20);
    h.turn();
    std::vector<Bytes> expected;
    for (int round = 0; round < 3; ++round)
        expected.insert(expected.end(), sent.begin(), sent.end());
    EXPECT_EQ(k->got, expected);
}

// The port's two sockets share it only with each other: a second server on the same port is
// refused, as with one socket.
TEST(BatchedSocket, ASteeredPortIsNotSharedWithAnotherServer) {
    const platform::StreamRule rule{1, {26, 101}, 22, 2};
    platform::SocketHandle prompt, stream, prompt2, stream2;
    ASSERT_TRUE(platform::udpOpenSteered(0, rule, prompt, stream));
    const uint16_t port = platform::udpLocalPort(prompt);
    EXPECT_EQ(platform::udpLocalPort(stream), port);
    EXPECT_FALSE(platform::udpOpenSteered(port, rule, prompt2, stream2));
    EXPECT_EQ(prompt2, platform::kNoSocket);
    platform::SocketHandle plain = platform::udpOpen();
    EXPECT_FALSE(platform::udpBind(plain, port));
    platform::udpClose(plain);
    for (platform::SocketHandle s : {prompt, stream})
        platform::udpClose(s);
    plain = platform::udpOpen();
    ASSERT_TRUE(platform::udpBind(plain, port));
    EXPECT_FALSE(platform::udpOpenSteered(port, rule, prompt2, stream2));
    platform::udpClose(plain);
}

// The transport on loopback sockets, turn by turn on the fake clock: framing, reliable delivery
// and its give-up rules, routing by address and port, and the outgoing queue.
#include <gtest/gtest.h>

#include <vector>

#include "admission/CRVClientConnection.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"
#include "transport/ServerStatistics.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A client record that keeps what the router hands it.
struct RecordingClient : CRVClientConnection {
    void onMessage(uint8_t* data, int size, const SocketAddress*) override {
        got.emplace_back(data, data + size);
    }
    std::vector<Bytes> got;
};

// Sees every delivery of the socket; bad input may come with a size of 0 or less.
struct Tap : OVMessageListener {
    void onMessage(uint8_t* data, int size, const SocketAddress*) override {
        sizes.push_back(size);
        last = size > 0 ? Bytes(data, data + size) : Bytes();
    }
    bool onReliableResend(const PendingReliable&) override { return true; }
    std::vector<int> sizes;
    Bytes last;
};

RecordingClient* connect(ServerHarness& h, const SocketAddress& address, bool replayed = false) {
    auto* c = new RecordingClient();
    c->server = h.server.get();
    c->id = uint8_t(h.server->clients.size() + 1);
    c->slot = uint8_t(h.server->clients.size());
    c->isReplayed = replayed;
    c->setAddress(&address);
    h.server->clients.push_back(c);
    return c;
}

class Transport : public ::testing::Test {
  protected:
    void SetUp() override { h.start(); }
    CClientMessageRouter& router() { return h.server->router; }
    OVSocket& socket() { return h.server->router.socket; }
    // One router turn (after waiting for a datagram if asked), everything it prints returned.
    std::string routerTurn(bool awaitDatagram = false) {
        if (awaitDatagram) {
            EXPECT_TRUE(socket().waitReadable(500));
        }
        StdoutCapture out;
        router().update();
        return out.take();
    }
    ServerHarness h;
};

}  // namespace

TEST(TransportFraming, ReliableHeaderCarriesSequenceAndLocalPortLittleEndian) {
    FakeClock clock;
    OVSocket sender(&clock);
    sender.setLocalPort(0x0102A3B4);
    TestClient peer(1);
    peer.acknowledge = false;
    SocketAddress elsewhere = peer.address();
    elsewhere.setPort(1);
    StdoutCapture out;
    sender.init(false);
    out.take();
    sender.setTarget(elsewhere, 0);
    EXPECT_EQ(sender.target(), elsewhere);
    StdoutCapture out2;
    sender.setTarget(elsewhere, peer.port());
    EXPECT_EQ(out2.take(), "setTarget() port=" + std::to_string(peer.port()) + "\n");
    EXPECT_EQ(sender.target(), peer.address());
    const uint8_t message[] = {42, 7, 0, 9};
    sender.sendReliable(message, 4);
    sender.send(message, 2);
    peer.drain();
    ASSERT_EQ(peer.received.size(), 2u);
    EXPECT_EQ(peer.received[0].datagram, bytesOf({0, 0, 0xB4, 0xA3, 0x02, 0x01, 42, 7, 0, 9}));
    EXPECT_EQ(peer.received[1].datagram, bytesOf({42, 7}));
    ASSERT_EQ(sender.pending().size(), 1u);
    EXPECT_EQ(sender.pending().front()->lastSent, 1000u);
}

TEST_F(Transport, SilentConnectedPeerGetsSixTransmissionsThenIsGivenUp) {
    TestClient peer(h.port());
    peer.acknowledge = false;
    router().send(connect(h, peer.address()), bytesOf({50, 1, 2}).data(), 3, 0, true);
    EXPECT_EQ(routerTurn(), "");
    for (int resend = 0; resend < 5; ++resend) {
        h.clock.advance(5000);
        EXPECT_EQ(routerTurn(), "") << "due only after more than 5000 ms";
        h.clock.advance(1);
        EXPECT_EQ(routerTurn(),
                  "listeners=1 messages=1\nonReliableResend " + std::to_string(resend) + " 50\n");
    }
    h.clock.advance(5001);
    EXPECT_EQ(routerTurn(), "listeners=1 messages=1\nonReliableResend 5 50\n");
    EXPECT_TRUE(socket().pending().empty());
    peer.drain();
    ASSERT_EQ(peer.received.size(), 6u);
    for (const Received& r : peer.received)
        EXPECT_EQ(r.datagram, bytesOf({0, 0, 0, 0, 0, 0, 50, 1, 2}));
}

TEST_F(Transport, PeerThatIsNoClientIsDroppedAtFirstDueScanAndOthersWait) {
    TestClient stranger(h.port()), member(h.port());
    connect(h, member.address());
    for (const TestClient* to : {&stranger, &member}) {
        socket().setTarget(to->address(), 0);
        socket().sendReliable(bytesOf({70, 1}).data(), 2);
    }
    h.clock.advance(5001);
    // The refusal ends this turn's scan: the member's copy waits for the next turn.
    EXPECT_EQ(routerTurn(), "listeners=1 messages=2\nonReliableResend on a dead client\n");
    ASSERT_EQ(socket().pending().size(), 1u);
    EXPECT_EQ(socket().pending().front()->sequence, 1);
    EXPECT_EQ(routerTurn(), "listeners=1 messages=1\nonReliableResend 0 70\n");
}

TEST_F(Transport, AcknowledgementsRemoveFirstRecordWithTheirNumberAfterTheWrap) {
    TestClient peer(h.port());
    socket().setTarget(peer.address(), 0);
    for (int i = 0; i < 257; ++i)
        socket().sendReliable(bytesOf({77}).data(), 1);
    EXPECT_EQ((*std::next(socket().pending().rbegin()))->sequence, 255);
    EXPECT_EQ(socket().pending().back()->sequence, 0);
    EXPECT_EQ(socket().nextSequence(), 1);
    for (size_t left : {256u, 255u, 255u}) {  // oldest 0, newest 0, then nothing
        peer.sendRaw({1, 0});
        routerTurn(true);
        EXPECT_EQ(socket().pending().size(), left);
    }
    EXPECT_EQ(socket().pending().front()->sequence, 1);
    EXPECT_EQ(socket().pending().back()->sequence, 255);
}

TEST_F(Transport, AcknowledgedMessageIsNeverResent) {
    TestClient peer(h.port());
    router().send(connect(h, peer.address()), bytesOf({33}).data(), 1, 0, true);
    routerTurn();
    peer.drain();
    routerTurn(true);
    EXPECT_TRUE(socket().pending().empty());
    h.clock.advance(6000);
    EXPECT_EQ(routerTurn(), "");
}

TEST_F(Transport, RoutesByAddressAndPortAndCountsMessageBytes) {
    TestClient a(h.port()), b(h.port()), stranger(h.port());
    RecordingClient* ca = connect(h, a.address());
    RecordingClient* cb = connect(h, b.address());
    // A record holding the stranger's port on another address must not catch its traffic.
    SocketAddress elsewhere = stranger.address();
    elsewhere.raw[7] = 2;
    RecordingClient* other = connect(h, elsewhere);
    a.sendRaw({200, 1});
    b.sendReliable({201, 2, 3}, 9);
    stranger.sendRaw({202});
    h.server->statistics->bytesRead = h.server->statistics->messagesRead = 0;
    routerTurn(true);
    EXPECT_EQ(ca->got, std::vector<Bytes>({{200, 1}}));
    EXPECT_EQ(cb->got, std::vector<Bytes>({{201, 2, 3}}));
    EXPECT_TRUE(other->got.empty());
    EXPECT_EQ(h.server->statistics->bytesRead, 6);
    EXPECT_EQ(h.server->statistics->messagesRead, 3);
    b.drain();
    EXPECT_EQ(b.acknowledgements, bytesOf({9}));
}

TEST_F(Transport, QueueSendsOneMessagePerTurnInQueueOrder) {
    TestClient a(h.port()), b(h.port()), c(h.port());
    RecordingClient* ca = connect(h, a.address());
    connect(h, SocketAddress::fromHost(0x7f000001, 1), true);  // played back, never sent to
    RecordingClient* cb = connect(h, b.address());
    RecordingClient* cc = connect(h, c.address());
    h.server->serverTime = 1000;
    router().send(nullptr, bytesOf({90, 1}).data(), 2, 25, false);
    router().send(ca, bytesOf({91}).data(), 1, 7, false);
    std::vector<std::pair<uint32_t, CRVClientConnection*>> queued;
    for (const QueuedMessage& m : router().queue)
        queued.emplace_back(m.dueTime, m.client);
    EXPECT_EQ(queued, decltype(queued)({{1025, ca}, {1050, cb}, {1075, cc}, {1007, ca}}));
    h.server->statistics->bytesWritten = h.server->statistics->messagesWritten = 0;
    std::vector<std::pair<TestClient*, int>> expected = {{&a, 90}, {&b, 90}, {&c, 90}, {&a, 91}};
    for (size_t turn = 0; turn < expected.size(); ++turn) {
        router().update();
        EXPECT_EQ(router().queue.size(), 3 - turn);
        EXPECT_TRUE(expected[turn].first->waitFor(uint8_t(expected[turn].second))) << turn;
    }
    EXPECT_EQ(h.server->statistics->bytesWritten, 7);
    EXPECT_EQ(h.server->statistics->messagesWritten, 4);
}

TEST_F(Transport, LongQueuePrintsItsSizeAndRemovalKeepsOrder) {
    TestClient a(h.port()), b(h.port());
    RecordingClient* ca = connect(h, a.address());
    RecordingClient* cb = connect(h, b.address());
    for (int i = 0; i < 12; ++i)
        router().send(i % 3 == 0 ? cb : ca, bytesOf({100, i}).data(), 2, 0, false);
    EXPECT_EQ(routerTurn(), "queue size=12\n");
    EXPECT_EQ(routerTurn(), "queue size=11\n");
    EXPECT_EQ(routerTurn(), "");
    router().removeQueuedFor(ca);
    std::vector<int> left;
    for (const QueuedMessage& m : router().queue)
        left.push_back(m.data[1]);
    EXPECT_EQ(left, std::vector<int>({3, 6, 9}));
}

TEST_F(Transport, BadDatagramsNeitherCrashNorReadStaleBytes) {
    Tap tap;
    socket().addListener(&tap);
    TestClient peer(h.port());
    // A pending record numbered 0, which a misread acknowledgement would remove.
    socket().setTarget(peer.address(), 0);
    socket().sendReliable(bytesOf({5}).data(), 1);
    auto turnAfter = [&](const Bytes& datagram) {
        peer.sendRaw(datagram);
        return routerTurn(true);
    };
    turnAfter({3, 0});  // leaves 0 in the receive buffer's second byte
    EXPECT_EQ(turnAfter({1}), "");
    EXPECT_EQ(socket().pending().size(), 1u);
    EXPECT_EQ(turnAfter({}), "");
    EXPECT_EQ(turnAfter(Bytes(1001, 4)), "");
    EXPECT_EQ(tap.sizes.size(), 1u) << "empty and oversized datagrams reach nobody";
    EXPECT_EQ(turnAfter(Bytes(1000, 4)), "");
    EXPECT_EQ(tap.last, Bytes(1000, 4));
    const std::string warned =
        "WARNING msize <=0\nError message size<0 in "
        "CClientMessageRouter::onMessage msize=";
    EXPECT_EQ(turnAfter({0, 9, 1, 0, 0, 0}), warned + "0\n");
    EXPECT_EQ(turnAfter({0, 8, 1}), warned + "-3\n");
    EXPECT_EQ(tap.sizes, std::vector<int>({2, 1000, 0, -3}));
    peer.drain();
    EXPECT_EQ(peer.acknowledgements, bytesOf({9, 8}));
}

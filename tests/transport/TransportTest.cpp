// The transport on loopback sockets, turn by turn on the fake clock: framing, reliable delivery
// and its give-up rules, routing by address and port, the outgoing queue, the traffic report
// and the time text.

#include "support/RaceFixture.h"
#include "transport/CTimer.h"

namespace {

// A client record that keeps what it is handed. Added to the socket as a listener it also sees
// bad input, which comes with a size of 0 or less.
struct Recorder : CRVClientConnection {
    void onMessage(uint8_t* data, int size, const SocketAddress*) override {
        sizes.push_back(size);
        got.push_back(size > 0 ? Bytes(data, data + size) : Bytes());
    }
    std::vector<int> sizes;
    std::vector<Bytes> got;
};

class Transport : public ::testing::Test {
  protected:
    void SetUp() override { h.start(); }
    CClientMessageRouter& router() { return h.server->router; }
    OVSocket& socket() { return h.server->router.socket; }
    Recorder* connect(const SocketAddress& address, bool replayed = false) {
        auto* c = new Recorder();
        c->isReplayed = replayed;
        c->setAddress(&address);
        h.server->clients.push_back(c);
        return c;
    }
    // One router turn (after waiting for a datagram if asked), everything it prints returned.
    std::string routerTurn(bool awaitDatagram = false) {
        EXPECT_TRUE(!awaitDatagram || socket().waitReadable(500));
        return printed([&] { router().update(); });
    }
    ServerHarness h;
};

}  // namespace

// A copy for a peer that is no client ends its scan, so the silent client's copy behind it waits
// a turn; the acknowledged copy shares every scan and would show in the count or add a line.
TEST_F(Transport, ResendsSixTimesToASilentClientDropsAStrangersCopyAndForgetsAcknowledgedOnes) {
    TestClient stranger(h.port()), heard(h.port()), silent(h.port());
    silent.acknowledge = false;
    socket().setTarget(stranger.address(), 0);
    socket().sendReliable(Bytes{70, 1}.data(), 2);
    router().send(connect(heard.address()), Bytes{33}.data(), 1, 0, true);
    router().send(connect(silent.address()), Bytes{50, 1, 2}.data(), 3, 0, true);
    EXPECT_EQ(routerTurn() + routerTurn(), "");
    heard.drain();
    routerTurn(true);
    for (int resend = 0; resend < 6; ++resend) {
        h.clock.advance(5000);
        EXPECT_EQ(routerTurn(), "") << "due only after more than 5000 ms";
        h.clock.advance(1);
        if (resend == 0) {
            EXPECT_EQ(routerTurn(), "listeners=1 messages=2\nonReliableResend on a dead client\n");
        }
        EXPECT_EQ(routerTurn(),
                  "listeners=1 messages=1\nonReliableResend " + std::to_string(resend) + " 50\n");
    }
    EXPECT_TRUE(socket().pending().empty());
    silent.drain();
    ASSERT_EQ(silent.received.size(), 6u);
    for (const Received& r : silent.received)
        EXPECT_EQ(r.datagram, (Bytes{0, 2, 0, 0, 0, 0, 50, 1, 2}));
}

// Acknowledgements count only from the peer the copy went to, and take the oldest copy with
// their number once the numbers wrap.
TEST_F(Transport, AcknowledgementsFromThePeerRemoveTheOldestCopyWithTheirNumber) {
    TestClient peer(h.port()), spoofer(h.port());
    socket().setTarget(peer.address(), 0);
    for (int i = 0; i < 257; ++i)
        socket().sendReliable(Bytes{77}.data(), 1);
    EXPECT_EQ(socket().nextSequence(), 1);
    for (int sequence = 0; sequence < 256; ++sequence)
        spoofer.sendRaw({1, uint8_t(sequence)});
    routerTurn(true);
    EXPECT_EQ(socket().pending().size(), 257u);
    for (size_t left : {256u, 255u, 255u}) {  // oldest 0, newest 0, then nothing
        peer.sendRaw({1, 0});
        routerTurn(true);
        EXPECT_EQ(socket().pending().size(), left);
    }
    EXPECT_EQ(socket().pending().front()->sequence, 1);
    EXPECT_EQ(socket().pending().back()->sequence, 255);
}

TEST_F(Transport, RoutesByAddressAndPortAndCountsMessageBytes) {
    TestClient a(h.port()), b(h.port()), stranger(h.port());
    Recorder *ca = connect(a.address()), *cb = connect(b.address());
    // A record holding the stranger's port on another address must not catch its traffic.
    SocketAddress elsewhere = stranger.address();
    elsewhere.raw[7] = 2;
    Recorder* other = connect(elsewhere);
    a.sendRaw({200, 1});
    b.sendReliable({201, 2, 3}, 9);
    stranger.sendRaw({202});
    router().traffic.bytesRead = router().traffic.messagesRead = 0;
    routerTurn(true);
    EXPECT_EQ((std::vector{ca->got, cb->got, other->got}),
              (std::vector<std::vector<Bytes>>{{{200, 1}}, {{201, 2, 3}}, {}}));
    EXPECT_EQ(std::tuple(router().traffic.bytesRead, router().traffic.messagesRead),
              std::tuple(6, 3));
    b.drain();
    EXPECT_EQ(b.acknowledgements, Bytes{9});
}

// Floods find caps, not memory.
TEST_F(Transport, QueueSendsOneMessagePerTurnInOrderNamesItsSizeWhenLongAndIsBounded) {
    TestClient a(h.port()), b(h.port()), c(h.port());
    Recorder* ca = connect(a.address());
    connect(SocketAddress::fromHost(0x7f000001, 1), true);  // played back, never sent to
    Recorder *cb = connect(b.address()), *cc = connect(c.address());
    h.server->serverTime = 1000;
    router().send(nullptr, Bytes{90, 1}.data(), 2, 25, false);
    router().send(ca, Bytes{91}.data(), 1, 7, false);
    std::vector<std::pair<uint32_t, RoutedPeer*>> queued;
    for (const QueuedMessage& m : router().queue)
        queued.emplace_back(m.dueTime, m.client);
    EXPECT_EQ(queued, decltype(queued)({{1025, ca}, {1050, cb}, {1075, cc}, {1007, ca}}));
    router().traffic.bytesWritten = router().traffic.messagesWritten = 0;
    const std::pair<TestClient*, uint8_t> expected[] = {{&a, 90}, {&b, 90}, {&c, 90}, {&a, 91}};
    for (size_t turn = 0; turn < 4; ++turn) {
        router().update();
        EXPECT_EQ(router().queue.size(), 3 - turn);
        EXPECT_TRUE(expected[turn].first->waitFor(expected[turn].second)) << turn;
    }
    EXPECT_EQ(std::tuple(router().traffic.bytesWritten, router().traffic.messagesWritten),
              std::tuple(7, 4));

    for (int i = 0; i < 12; ++i)
        router().send(i % 3 == 0 ? cb : ca, Bytes{100, uint8_t(i)}.data(), 2, 0, false);
    EXPECT_EQ(routerTurn(), "queue size=12\n");
    EXPECT_EQ(routerTurn(), "queue size=11\n");
    EXPECT_EQ(routerTurn(), "");
    router().removeQueuedFor(ca);
    std::string left;
    for (const QueuedMessage& m : router().queue)
        left += std::to_string(m.data[1]) + " ";
    EXPECT_EQ(left, "3 6 9 ");

    StdoutCapture quiet;
    router().queue.clear();
    for (size_t i = 0; i < CClientMessageRouter::kMaxQueued + 100; ++i)
        router().send(ca, Bytes{33}.data(), 1, 0, true);
    EXPECT_EQ(router().queue.size(), CClientMessageRouter::kMaxQueued);
    EXPECT_EQ(router().queueDrops.total(), 100u);
    for (size_t i = 0; i < OVSocket::kMaxPending + 10; ++i)
        router().update();
    EXPECT_EQ(socket().pending().size(), OVSocket::kMaxPending);
}

TEST_F(Transport, FramesDatagramsAndSurvivesBadOnesWithoutReadingStaleBytes) {
    Recorder tap;
    socket().addListener(&tap);
    socket().setLocalPort(0x0102A3B4);
    TestClient peer(h.port());
    peer.acknowledge = false;  // the reliable copy, numbered 0, stays pending
    SocketAddress elsewhere = peer.address();
    elsewhere.setPort(1);
    StdoutCapture out;
    socket().setTarget(elsewhere, 0);
    EXPECT_EQ(socket().target(), elsewhere);
    socket().setTarget(elsewhere, peer.port());
    EXPECT_EQ(out.take(), "setTarget() port=" + std::to_string(peer.port()) + "\n");
    const uint8_t message[] = {42, 7, 0, 9};
    socket().sendReliable(message, 4);
    socket().send(message, 2);
    peer.drain();
    ASSERT_EQ(peer.received.size(), 2u);
    EXPECT_EQ((std::vector{peer.received[0].datagram, peer.received[1].datagram}),
              (std::vector<Bytes>{{0, 0, 0xB4, 0xA3, 0x02, 0x01, 42, 7, 0, 9}, {42, 7}}));

    auto turnAfter = [&](const Bytes& datagram) {
        peer.sendRaw(datagram);
        return routerTurn(true);
    };
    turnAfter({3, 0});  // leaves 0 in the receive buffer's second byte
    EXPECT_EQ(turnAfter({1}), "");
    EXPECT_EQ(socket().pending().size(), 1u) << "a 1-byte acknowledgement names nothing";
    EXPECT_EQ(turnAfter({}) + turnAfter(Bytes(1001, 4)) + turnAfter(Bytes(1000, 4)), "");
    const std::string warned =
        "WARNING msize <=0\nError message size<0 in CClientMessageRouter::onMessage msize=";
    EXPECT_EQ(turnAfter({0, 9, 1, 0, 0, 0}), warned + "0\n");
    EXPECT_EQ(turnAfter({0, 8, 1}), warned + "-3\n");
    // Empty and oversized datagrams reach nobody; the largest one arrives whole.
    EXPECT_EQ(tap.sizes, std::vector<int>({2, 1000, 0, -3}));
    EXPECT_EQ(tap.got[1], Bytes(1000, 4));
    peer.drain();
    EXPECT_EQ(peer.acknowledgements, (Bytes{9, 8}));
}

// 16777217 has no single-precision float: it is rounded to the nearest one.
TEST(TimerText, MinutesSecondsMillisThroughSinglePrecision) {
    const std::pair<int32_t, const char*> cases[] = {
        {83456, "1:23:456"},      {-1500, "-0:01:500"},        {0, "0:00:000"},
        {3600000, "60:00:000"},   {61234, "1:01:234"},         {16777215, "279:37:215"},
        {16777217, "279:37:216"}, {INT32_MIN, "-35791:23:648"}};
    for (auto [ms, text] : cases)
        EXPECT_EQ(CTimer::formatTime(ms), text) << ms;
}

TEST(TrafficStatistics, ReportsEveryTenSecondsOfServerTimeWithNominalRates) {
    ServerHarness h;
    h.start();
    TrafficCounters& stats = h.server->router.traffic;
    auto file = [&] {
        h.server->flushOutput();
        return h.folder.read("serverStats.txt");
    };
    stats = {20480, 15, 0, 0, 3, 25};  // written, read, errors, messages written and read
    h.advance(9999);
    EXPECT_EQ(file(), "");
    h.advance(1);
    const std::string first =
        "\n\nSERVER TIME: 0:10:000\n"
        "I/O, WRITE: 20480 (2.0 KB/s) READ: 15 (0.0 KB/s)\n"
        "ERRORS/BLOCKS WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n"
        "MESSAGES WRITE: 3 (0.3 /s) READ: 25 (2.5 /s)\n";
    EXPECT_EQ(file(), first);
    EXPECT_EQ(stats.bytesWritten + stats.bytesRead + stats.messagesWritten + stats.messagesRead, 0);
    h.advance(9999);
    EXPECT_EQ(file(), first);
    h.advance(2);
    EXPECT_EQ(file(), first +
                          "\n\nSERVER TIME: 0:20:001\n"
                          "I/O, WRITE: 0 (0.0 KB/s) READ: 0 (0.0 KB/s)\n"
                          "ERRORS/BLOCKS WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n"
                          "MESSAGES WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n");
}

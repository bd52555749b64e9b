#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "records/ServerStatistics.h"
#include "runtime/NextWake.h"
#include "support/RaceFixture.h"

namespace {

// Every value a timed step leaves behind, with the server time at which it changed.
using Change = std::tuple<std::string, int64_t, int64_t>;

// A one-minute practice after a 3 s wait, two clients, and one reliable message nobody
// acknowledges: flush, packets, countdown, start, end, advance, statistics and resends all act
// within 75 s.
struct WaitingServer {
    WaitingServer() : h(withEdits(defaultConfig(), {"WAITTIME=3", "SESTIME=1"})) {
        h.start();
        h.clock.set(1000);
        attachClient(*h.server, peerA.address(), "A");
        attachClient(*h.server, peerB.address(), "B");
        const uint8_t note[] = {RV_BALLAST, 1, 0, 0, 0};
        h.server->router.send(h.server->clients[0], note, 5, 0, true);
    }
    // Runs one turn at `t` ms and notes what changed.
    void turnAt(int64_t t) {
        h.clock.set(uint32_t(1000 + t));
        h.turn();
        ++turns;
        const CRVServer& s = *h.server;
        const auto& pending = s.router.socket.pending();
        // The two clients go silent and are removed after a minute, one a turn.
        int64_t packet[2] = {-1, -1};
        for (const CRVClientConnection* c : s.clients)
            packet[c->userName[0] - 'A'] = c->lastSituationTime;
        auto note = [&](const std::string& name, int64_t value) {
            auto [last, fresh] = lastValue.try_emplace(name, value);
            if (fresh || std::exchange(last->second, value) != value)
                changes.emplace_back(name, value, s.serverTime);
        };
        note("flush", s.lastFlush);
        note("packet A", packet[0]);
        note("packet B", packet[1]);
        note("countdown tick", s.countdown.lastCountdownTick);
        note("started", s.sessions[0].started);
        note("over", s.sessions[0].overAnnounced);
        note("finished", s.sequenceFinished);
        note("statistics", s.statistics->lastReport);
        note("resend", pending.empty() ? -1 : int64_t(pending.front()->lastSent));
    }
    ServerHarness h;
    TestClient peerA{0}, peerB{0};
    std::vector<Change> changes;
    std::map<std::string, int64_t> lastValue;
    int turns = 0;
};

constexpr int64_t kHorizon = 75000;

}  // namespace

// Turning only when nextWakeTime() says so must leave exactly the trail of a loop that turns
// every millisecond: each timed step acts on its first turn at or after its time.
TEST(MainLoopWait, SleepingUntilTheNextWakeTimeMissesNoTimedStep) {
    WaitingServer everyMs, waiting;
    StdoutCapture quiet;
    // From 1 ms on: a packet sent at server time 0 counts as never sent.
    for (int64_t t = 1; t <= kHorizon; ++t)
        everyMs.turnAt(t);
    // A rest of 0 turns again a millisecond later, as in the reference run, and a loop that
    // never rests shows in the count of turns.
    for (int64_t t = 1; t <= kHorizon; t += std::max(idleWaitMs(*waiting.h.server), 1))
        waiting.turnAt(t);
    quiet.take();
    EXPECT_EQ(waiting.changes, everyMs.changes);
    EXPECT_LT(waiting.turns, kHorizon / 10);
    std::set<std::string> acted;  // every kind of step, after the first turn
    for (const auto& [name, value, at] : everyMs.changes)
        if (at >= 1000)
            acted.insert(name);
    EXPECT_EQ(acted.size(), everyMs.lastValue.size());
}

TEST(MainLoopWait, RestsOnlyWhenNothingIsQueuedAndNoDatagramWaits) {
    ServerHarness h;
    h.start();
    // The receive step stops at an empty datagram; the query behind it must not wait a rest.
    TestClient asker(h.port());
    asker.sendRaw({});
    asker.sendRaw(statusQuery(7));
    ASSERT_TRUE(h.receiveTurn());
    asker.drain(10);
    EXPECT_EQ(asker.count(RV_STATUS), 0);
    EXPECT_TRUE(waitForNextTurn(*h.server));
    h.turn();
    EXPECT_TRUE(asker.waitFor(RV_STATUS));
    // One queued message leaves per turn, so the loop turns again at once while any is left.
    attachClient(*h.server, asker.address(), "A");
    h.advance(100);
    h.turn();
    const uint8_t chat[] = {RV_CHAT, 0, 0};
    h.server->router.send(nullptr, chat, 3, 0, false);
    EXPECT_EQ(idleWaitMs(*h.server), 0);
    h.turn();
    EXPECT_GT(idleWaitMs(*h.server), 0);
}

// A car update waits for the planned turn and is routed just before it; a message that may need
// an answer, or a car that retires, ends the rest at once.
TEST(MainLoopWait, OnlyADatagramThatNeedsAnAnswerEndsTheRestEarly) {
    ServerHarness h;
    h.start();
    TestClient driver(h.port());
    CRVClientConnection* c = attachClient(*h.server, driver.address(), "A");
    h.advance(100);  // a packet sent at server time 0 counts as never sent
    printed([&] { h.turn(); });
    const int planned = idleWaitMs(*h.server);
    ASSERT_GT(planned, 3 * kAnswerWithinMs);
    auto rest = [&] {
        const uint64_t from = platform::monotonicMicros();
        EXPECT_TRUE(waitForNextTurn(*h.server));
        return int((platform::monotonicMicros() - from) / 1000);
    };
    const uint8_t state[peer::kCarStateSize] = {};
    driver.sendRaw(peer::carUpdate(1, state, 0));
    EXPECT_GE(rest(), planned - 1);
    EXPECT_EQ(c->lastUpdateSeq, 1u);
    h.turn();
    for (const Bytes& prompt : {peer::carUpdate(2, state, 2), chat("hi")}) {
        driver.sendRaw(prompt);
        EXPECT_LT(rest(), kAnswerWithinMs);
        h.turn();
    }
    EXPECT_EQ(c->lastUpdateSeq, 2u);
}

// Clients admitted a few milliseconds apart get their packets in one turn from the second one
// on; one admitted further off keeps its own time. No packet leaves before it is due.
TEST(MainLoopWait, PacketsDueCloseTogetherLeaveInOneTurn) {
    ServerHarness h;
    h.start();
    h.clock.set(1000);
    TestClient a{0}, b{0}, c{0};
    std::map<char, std::vector<int64_t>> sent;
    auto turnAt = [&](int64_t t) {
        h.clock.set(uint32_t(1000 + t));
        h.turn();
        for (const CRVClientConnection* k : h.server->clients) {
            std::vector<int64_t>& times = sent[k->userName[0]];
            if (times.empty() || times.back() != k->lastSituationTime)
                times.push_back(k->lastSituationTime);
        }
    };
    StdoutCapture quiet;
    turnAt(100);
    attachClient(*h.server, a.address(), "A");
    turnAt(101);
    attachClient(*h.server, b.address(), "B");
    turnAt(106);
    attachClient(*h.server, c.address(), "C");
    turnAt(131);
    for (int64_t t = 132; t <= 400; ++t)
        turnAt(t);
    quiet.take();
    EXPECT_EQ(sent['A'], (std::vector<int64_t>{101, 167, 228, 289, 350}));
    EXPECT_EQ(sent['B'], (std::vector<int64_t>{106, 167, 228, 289, 350}));
    EXPECT_EQ(sent['C'], (std::vector<int64_t>{131, 192, 253, 314, 375}));
}

// Turns that would only send the next queued message leave together without a full turn
// between them, in queue order, and print the backlog line as each such turn does.
TEST(MainLoopWait, AQueueOfMessagesLeavesInOneGoInItsOrder) {
    ServerHarness h;
    h.start();
    TestClient peer(h.port());
    attachClient(*h.server, peer.address(), "A");
    h.advance(100);
    printed([&] { h.turn(); });
    peer.drain(20);
    for (uint8_t i = 0; i < 12; ++i) {
        const uint8_t chat[] = {RV_CHAT, i, 0};
        h.server->router.send(nullptr, chat, 3, 0, false);
    }
    peer.received.clear();
    const std::string out = printed([&] { sendQueuedAlone(*h.server); });
    EXPECT_TRUE(h.server->router.queue.empty());
    EXPECT_EQ(out, "queue size=12\nqueue size=11\n");
    h.server->router.socket.flushSends();
    peer.drain(20);
    std::vector<int> order;
    for (const Received& m : peer.received)
        if (m.type() == RV_CHAT)
            order.push_back(m.bytes[1]);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

#include <algorithm>
#include <tuple>

#include "runtime/NextWake.h"
#include "support/RaceFixture.h"
#include "transport/ServerStatistics.h"

namespace {

// Every value a timed step leaves behind, with the server time at which it changed.
using Change = std::tuple<std::string, int64_t, int64_t>;

class Timeline {
  public:
    void observe(const CRVServer& s) {
        const SessionRecord& session = s.sessions[0];
        const auto& pending = s.router.socket.pending();
        note("flush", s.lastFlush, s);
        // The two clients go silent and are removed after a minute, one a turn.
        for (const char* name : {"A", "B"}) {
            int64_t packet = -1;
            for (const CRVClientConnection* c : s.clients)
                if (std::string(c->userName) == name)
                    packet = c->lastSituationTime;
            note(std::string("packet ") + name, packet, s);
        }
        note("countdown tick", s.lastCountdownTick, s);
        note("countdown chat", s.lastCountdownChat, s);
        note("started", session.started, s);
        note("over", session.overAnnounced, s);
        note("finished", s.sequenceFinished, s);
        note("statistics", s.statistics->lastReport, s);
        note("resend", pending.empty() ? -1 : int64_t(pending.front()->lastSent), s);
    }
    std::vector<Change> changes;

  private:
    void note(const std::string& name, int64_t value, const CRVServer& s) {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            if (std::get<0>(*it) == name) {
                if (std::get<1>(*it) != value)
                    break;
                return;
            }
        changes.emplace_back(name, value, s.serverTime);
    }
};

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
    ServerHarness h;
    TestClient peerA{0}, peerB{0};
    Timeline timeline;
    int turns = 0;
};

constexpr int64_t kHorizon = 75000;

}  // namespace

// Turning only when nextWakeTime() says so must leave exactly the trail of a loop that turns
// every millisecond: each timed step acts on its first turn at or after its time.
TEST(MainLoopWait, SleepingUntilTheNextWakeTimeMissesNoTimedStep) {
    WaitingServer everyMs, waiting;
    auto quiet = std::make_unique<StdoutCapture>();
    // From 1 ms on: a packet sent at server time 0 counts as never sent.
    for (int64_t t = 1; t <= kHorizon; ++t) {
        everyMs.h.clock.set(uint32_t(1000 + t));
        everyMs.h.turn();
        everyMs.timeline.observe(*everyMs.h.server);
    }
    // A rest of 0 turns again at once; here that turn comes a millisecond later, as in the
    // reference run, and a loop that never rests shows in the count of turns.
    for (int64_t t = 1; t <= kHorizon;) {
        waiting.h.clock.set(uint32_t(1000 + t));
        waiting.h.turn();
        ++waiting.turns;
        waiting.timeline.observe(*waiting.h.server);
        t += std::max(idleWaitMs(*waiting.h.server), 1);
    }
    quiet.reset();
    EXPECT_EQ(waiting.timeline.changes, everyMs.timeline.changes);
    EXPECT_LT(waiting.turns, kHorizon / 10);
    // Every kind of step did act in the window.
    for (const Change& c :
         {Change("countdown tick", 2002, 2002), Change("started", 1, 3000),
          Change("statistics", 70000, 70000), Change("resend", 26006, 25006),
          Change("resend", -1, 30007), Change("over", 1, 63001), Change("finished", 1, 73001),
          Change("packet A", -1, 60000), Change("packet B", -1, 60001)})
        EXPECT_NE(std::find(everyMs.timeline.changes.begin(), everyMs.timeline.changes.end(), c),
                  everyMs.timeline.changes.end())
            << std::get<0>(c) << " at " << std::get<2>(c);
}

TEST(MainLoopWait, RestsOnlyWhenNothingIsQueuedAndNoDatagramWaits) {
    ServerHarness h;
    h.start();
    h.turn();
    const int idle = idleWaitMs(*h.server);
    EXPECT_GT(idle, 0);
    EXPECT_LE(idle, 1000);

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

#include "runtime/NextWake.h"

#include <algorithm>
#include <cstdint>

#include "admission/CRVClientConnection.h"
#include "fleet/FleetSdk.h"
#include "race/ClientRemoval.h"
#include "race/SessionEnd.h"
#include "records/CRVServerRecorder.h"
#include "records/ServerStatistics.h"
#include "runtime/CRVServer.h"
#include "transport/Clock.h"

namespace {

constexpr int64_t kNever = INT64_MAX;

class Earliest {
  public:
    explicit Earliest(int64_t now) : now_(now), wake_(now + kLongestWaitMs) {}
    void at(int64_t t) { wake_ = std::min(wake_, t); }
    // For rules owned elsewhere that may change: only an instant still ahead counts, so a rule
    // that did not act when this one expected cannot make the loop spin.
    void ahead(int64_t t) {
        if (t > now_)
            at(t);
    }
    void within(int64_t ms) { at(now_ + ms); }
    int64_t value() const { return std::max(wake_, now_); }

  private:
    int64_t now_;
    int64_t wake_;
};

void sessionSteps(const CRVServer& server, const SessionRecord& s, Earliest& e) {
    const int64_t start = int64_t(s.startTime);
    if (!s.started) {
        e.at(start);
        e.at(server.countdown.nextTickAt());
    }
    if (s.type == kPractice || s.type == kQualifying) {
        const int64_t end = start + s.sessionTime;
        e.ahead(end + 1);
        e.ahead(end + kAdvanceAfterOvertimeMs + 1);
        // Laps and sign-offs end the wait sooner; they are messages, which wake the loop.
        if (s.type == kQualifying)
            e.ahead(end + qualifyingGraceMs(server) + 1);
    } else if (s.type == kRace && s.started && !server.sequenceFinished) {
        // A race also ends by finishes and retirements, which come in messages that wake the
        // loop, and by removals, which happen in a turn before this rule is looked at.
        if (server.race.raceWon)
            e.ahead(int64_t(server.race.raceWonTime) + kRaceEndAfterWinMs + 1);
    }
}

}  // namespace

int64_t situationTurn(const CRVServer& server, int64_t now) {
    int64_t earliest = kNever;
    for (const CRVClientConnection* c : server.clients) {
        // A new client's first packet goes out on the first turn after its admission.
        if (c->lastSituationTime == 0)
            return now;
        earliest = std::min(earliest, c->lastSituationTime + c->situationInterval + 1);
    }
    // Clients whose packets fall due within a short while of the first one's are served
    // together: once sent in one turn, they stay in step. So the loop wakes once per interval
    // for all of them, not once per client, at the price of one late packet for the earlier
    // ones the first time.
    int64_t turn = earliest;
    for (const CRVClientConnection* c : server.clients) {
        const int64_t due = c->lastSituationTime + c->situationInterval + 1;
        if (due <= earliest + kSituationMergeMs)
            turn = std::max(turn, due);
    }
    return std::max(turn, now);
}

int64_t nextWakeTime(const CRVServer& server, int64_t now, uint32_t tickNow) {
    if (!server.router.queue.empty() || server.router.socket.hasWaiting())
        return now;
    return timedStepTime(server, now, tickNow);
}

int64_t timedStepTime(const CRVServer& server, int64_t now, uint32_t tickNow) {
    Earliest e(now);
    // The per-turn rules act on "more than N ms since", so the first turn that acts is one later.
    e.at(server.lastFlush + CRVServer::kFlushEveryMs + 1);
    e.at(situationTurn(server, now));
    for (const CRVClientConnection* c : server.clients) {
        // The clean-up takes one client a turn, so an overdue one is due at once.
        if (!c->isReplayed && c->address.port() != 0)
            e.at(c->hasLeft ? now : std::max(now, c->lastSeenTime + kSilenceLimitMs));
    }
    if (server.router.socket.unsentCount() > 0)
        e.within(kUnsentRetryMs);
    for (const auto& record : server.router.socket.pending()) {
        uint32_t due = record->lastSent + OVSocket::kResendIntervalMs + 1;
        e.at(now + int32_t(due - tickNow));
    }
    const int index = server.currentSession;
    if (index >= 0 && size_t(index) < server.sessions.size())
        sessionSteps(server, server.sessions[size_t(index)], e);
    if (server.recorder && server.recorder->playback && !server.recorder->playList.empty())
        e.at(std::max(now, int64_t(int32_t(server.recorder->playList.front().time))));
    if (server.statistics)
        e.at(int64_t(server.statistics->lastReport) + server.statistics->interval);
    if (server.fleet)
        e.at(server.fleet->nextHealthAt());
    if (server.service)
        e.at(server.service->nextBeatAt());
    return e.value();
}

int idleWaitMs(const CRVServer& server) {
    if (!server.router.queue.empty() || server.router.socket.hasWaiting())
        return 0;
    const int64_t now = int64_t(uint32_t(server.clock->timeMs() - server.startTime));
    const int64_t wake = nextWakeTime(server, now, server.clock->tickCount());
    return int(std::clamp<int64_t>(wake - now, 0, kLongestWaitMs));
}

void sendQueuedAlone(CRVServer& server) {
    CClientMessageRouter& router = server.router;
    if (router.queue.empty() || router.socket.hasWaiting())
        return;
    const int64_t now = int64_t(uint32_t(server.clock->timeMs() - server.startTime));
    if (timedStepTime(server, now, server.clock->tickCount()) <= now)
        return;
    server.serverTime = now;
    while (!router.queue.empty())
        router.sendStep();
}

bool waitForNextTurn(CRVServer& server) {
    OVSocket& socket = server.router.socket;
    sendQueuedAlone(server);
    // Sent before the wait is planned: only what the kernel refused calls for an early retry.
    socket.flushSends();
    const int ms = idleWaitMs(server);
    if (ms == 0)
        return true;
    const bool woken = socket.rest(ms, kAnswerWithinMs);
    int routed = 0;
    if (!woken) {
        // Nothing timed is due before the planned instant, so this is all such a turn would
        // do.
        server.serverTime = int64_t(uint32_t(server.clock->timeMs() - server.startTime));
        routed = server.router.update();
    }
    // Everything waiting in the kernel has just been read: the turn that follows at once
    // need not ask again.
    if (!socket.hasWaiting())
        socket.skipNextRead();
    return woken || routed > 0;
}

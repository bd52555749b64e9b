// The configured sequence of sessions: which one is current, its start after the waiting time
// with the countdown broadcasts, and the advance to the next one.
#include <cstdio>
#include <string>

#include "admission/CRVClientConnection.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "runtime/CRVServer.h"

SessionRecord* CRVServer::current() {
    if (currentSession < 0 || size_t(currentSession) >= sessions.size())
        return nullptr;
    return &sessions[size_t(currentSession)];
}

void CRVServer::evolveSession() {
    int count = int(sessions.size());
    if (currentSession != -1 && !sequenceFinished) {
        std::printf("Saving session\n");
        saveSession(currentSession);
    }
    if (currentSession >= count - 1) {
        sequenceFinished = true;
        return;
    }
    std::printf("Evolving session %d %d\n", currentSession, count);
    if (currentSession != -1)
        endSessionChecks();

    for (CRVClientConnection* c : clients) {
        c->laps = 0;
        c->lastLapId = 0;
        c->lastLapAux = 0;
        c->lapsBehind = 0;
        c->lastUpdateSeq = 0;
        c->seqState = 0;
        c->bestLap = 0;
        c->qualifyBestLap = 0;
        c->isActive = 0;
        c->jumpStart = false;
        c->finished = false;
        c->qualifyDone = false;
        c->resetCarState();
        c->carFlags = 0;
        c->lastSeenTime = serverTime;
    }

    ++currentSession;
    std::printf("Current session=%d\n", currentSession);
    SessionRecord& s = sessions[size_t(currentSession)];
    char line[256];
    std::snprintf(line, sizeof line, "SESSION,%s,%d,%d,%d,%d,%d,%d,%d,%d", s.name, s.type,
                  s.waitTime, s.acceptNew, s.escMode, s.maxLaps, s.minLaps, s.raceLaps,
                  s.sessionTime);
    logger.log(line, 0);

    race.newSession();
    s.started = 0;
    s.overAnnounced = 0;
    s.startTime = uint64_t(serverTime + int64_t(s.waitTime));
    sendSessionInfo(nullptr);
}

void CRVServer::updateStartSequence() {
    SessionRecord* s = current();
    if (s == nullptr)
        return;
    int64_t now = serverTime;
    int64_t start = int64_t(s->startTime);
    if (now >= start) {
        if (!s->started) {
            if (s->type == kRace) {
                raceValid = clients.size() > 1;
                for (CRVClientConnection* c : clients)
                    c->sendRaceEvent(0);
                logger.log("RACE_START", 0);
            }
            logger.log("SESSION_START", 0);
        }
        s->started = 1;
    } else {
        s->started = 0;
    }

    if (!countdown.tickDue(now))
        return;
    if (s->started)
        return;

    if (countdown.chatDue(now)) {
        int seconds = int(((start - now) / 10000) * 10);
        sendServerChat("[SERVER]: " + std::to_string(seconds) + " seconds to go", nullptr);
        countdown.lastCountdownChat = int32_t(now);
    }

    if (s->type == kRace) {
        int k = 0;
        for (CRVClientConnection* c : clients) {
            uint8_t points[msgsize::kRaceStartPoints] = {};
            ByteWriter w(points, sizeof points);
            w.u8(RV_RACESTARTPOINTS);
            int grid = c->gridPlace != -1 ? c->gridPlace : c->slot;
            writeStartPoint(w, pointAt(startPoints.gridPoints, grid));
            writeStartPoint(w, pointAt(startPoints.boxPoints, c->slot));
            router.send(c, points, int(sizeof points), 25 * k, true);
            ++k;
        }
    }

    uint8_t startTimeMessage[msgsize::kStartTime];
    ByteWriter w(startTimeMessage, sizeof startTimeMessage);
    w.u8(RV_STARTTIME);
    w.u32(uint32_t(s->startTime));
    router.send(nullptr, startTimeMessage, int(sizeof startTimeMessage), 25, false);
    countdown.lastCountdownTick = int32_t(now);
}

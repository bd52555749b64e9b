// End of a session: by time for practice and qualifying, by the finish for a race, and the
// checks made on every client when a session is left.
#include <cstdio>

#include "race/SessionEnd.h"

#include "admission/CRVClientConnection.h"
#include "race/SortOrders.h"
#include "runtime/CRVServer.h"
#include "util/RecordText.h"

void CRVServer::endSessionChecks() {
    SessionRecord* s = current();
    if (s == nullptr)
        return;
    for (size_t i = 0; i < clients.size();) {
        CRVClientConnection* c = clients[i];
        if (c->laps < s->minLaps) {
            std::printf("erasing client\n");
            char text[160];
            std::snprintf(text, sizeof text,
                          "[SERVER}: %s DIDN'T COMPLETE REQUIRED %d LAPS. NOT QUALIFIED",
                          recordText(c->userName).c_str(), int(s->minLaps));
            sendServerChat(text, nullptr);
            removeClient(c);  // the next client has moved up to index i
            continue;
        }
        if (s->maxLaps != 0 && c->laps > s->maxLaps) {
            char text[160];
            std::snprintf(text, sizeof text, "[SERVER]: %s COMPLETED %d LAPS INSTEAD OF %d",
                          recordText(c->userName).c_str(), int(c->laps), int(s->maxLaps));
            sendServerChat(text, nullptr);
            c->qualifyBestLap = 0;
        }
        ++i;
    }
    if (s->type == kQualifying) {
        order::sort(rankingList, order::qualifyingGrid);
        qualifyList = rankingList;
        for (size_t place = 0; place < qualifyList.size(); ++place)
            qualifyList[place]->gridPlace = int32_t(place);
    }
}

int64_t qualifyingGraceMs(const CRVServer& server) {
    const auto& ranking = server.rankingList;
    if (!ranking.empty() && ranking.front()->qualifyBestLap != 0)
        return int64_t(double(1.1f) * ranking.front()->qualifyBestLap);
    return kQualifyingGraceMs;
}

void CRVServer::checkSessionTime() {
    SessionRecord* s = current();
    if (s == nullptr)
        return;
    if (s->type == kRace) {
        checkRaceEnd();
        return;
    }
    if (s->type != kPractice && s->type != kQualifying)
        return;
    int64_t overtime = serverTime - int64_t(s->startTime) - int64_t(s->sessionTime);
    if (overtime <= 0)
        return;
    if (s->type == kQualifying) {
        const int64_t grace = qualifyingGraceMs(*this);
        bool someoneStillOnLap = false;
        for (CRVClientConnection* c : clients)
            someoneStillOnLap |= !c->qualifyDone;
        if (someoneStillOnLap && overtime <= grace)
            return;
    }
    if (!s->overAnnounced) {
        s->overAnnounced = 1;
        sendServerChat(std::string("[SERVER]: ") + s->name + " IS OVER", nullptr);
    }
    if (overtime > kAdvanceAfterOvertimeMs)
        evolveSession();
}

void CRVServer::checkRaceEnd() {
    SessionRecord* s = current();
    if (s == nullptr || !s->started || sequenceFinished)
        return;
    bool allRetired = true;
    bool allFinished = true;
    for (CRVClientConnection* c : clients) {
        allRetired &= c->retiredFlagSeen;
        allFinished &= c->finished;
    }
    bool ends = allRetired || clients.size() < 2 ||
                (race.raceWon && serverTime - int64_t(race.raceWonTime) > kRaceEndAfterWinMs) ||
                allFinished;
    if (!ends)
        return;
    saveSession(currentSession);
    if (currentSession >= int(sessions.size()) - 1) {
        if (config.loop != 0)
            resetRace(false);
        else
            sequenceFinished = true;
    } else {
        evolveSession();
    }
}

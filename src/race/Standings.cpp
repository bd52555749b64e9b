// Standings after every lap and on request: the running order with gaps in a race (which also
// decides the winner and classifies the finishers), the time sheet in practice and qualifying,
// and the warning for drivers beyond the valid-lap limit.
#include <cstdio>
#include <cstring>

#include "admission/CRVClientConnection.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "race/SortOrders.h"
#include "runtime/CRVServer.h"
#include "transport/CTimer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

// Both standings messages have room for ranked_list::kEntries drivers; the rest are left out.
constexpr size_t kListed = ranked_list::kEntries;
constexpr int32_t kGapNotKnown = -6666;

uint8_t listedCount(size_t n) {
    return uint8_t(n < kListed ? n : kListed);
}

}  // namespace

void CRVServer::updateRank(int id, int /*unused*/) {
    const SessionRecord* session = current();
    if (session == nullptr)
        return;
    switch (session->type) {
        case kPractice:
            updatePracticeRank(id);
            break;
        case kQualifying:
            updateQualifyRank(id);
            break;
        default:
            updateRaceRank(id);
            break;
    }
}

void CRVServer::updateRaceRank(int id) {
    order::sort(rankingList, order::race);
    CRVClientConnection* trigger = findClient(id);
    if (trigger == nullptr || rankingList.empty()) {
        std::printf("CRVServer::updateRank loc_cli=NULL, chguid=%d\n", id);
        return;
    }
    CRVClientConnection* leader = rankingList.front();
    race.leaderLaps = leader->laps;
    // Laps behind only change when the leader completes a lap; in between a driver one lap
    // down simply has not yet reached the line the leader has crossed.
    const bool leaderUpdate = trigger == leader && leader->laps >= 2;
    if (leaderUpdate && leader->laps == current()->raceLaps) {
        sendServerChat("[SERVER]: RACE WON BY " + recordText(leader->userName), nullptr);
        race.raceWon = true;
        race.raceWonTime = uint32_t(serverTime);
        leader->sendRaceEvent(1);
        logger.log(std::string("RACEEND,") + recordText(leader->guid), 2);
    }
    if (race.raceWon && !trigger->finished) {
        size_t place = 0;
        while (place < rankingList.size() && rankingList[place] != trigger)
            ++place;
        trigger->sendRaceEvent(place == 1 || place == 2 ? 2 : 3);
        trigger->finished = true;
    }

    uint8_t m[standings::kSize] = {};
    ByteWriter w(m, sizeof m);
    w.u8(RV_STANDINGS);
    w.u8(listedCount(rankingList.size()));
    for (size_t i = 0; i < rankingList.size(); ++i) {
        CRVClientConnection* c = rankingList[i];
        if (leaderUpdate) {
            const int32_t down = int32_t(uint32_t(leader->laps) - uint32_t(c->laps));
            c->lapsBehind = down >= 2 ? down - 1 : 0;
        }
        const int32_t behindLeader = int32_t(c->lastLapAux - leader->lastLapAux);
        if (i < kListed) {
            int32_t gap = behindLeader;
            if (c->laps != leader->laps)
                gap = c->lapsBehind != 0 ? -c->lapsBehind : kGapNotKnown;
            ranked_list::writeEntry(w, i, c->id, uint32_t(gap));
        }
        std::printf("%d: %s +%s\n", int(i + 1), printable(recordText(c->userName)).c_str(),
                    CTimer::formatTime(behindLeader).c_str());
    }
    w.seek(standings::kLeaderLap);
    w.u8(uint8_t(leader->laps + 1));
    router.send(nullptr, m, int(sizeof m), 25, false);
    std::memcpy(race.lastStandings, m, sizeof m);
}

void CRVServer::sendTimesheet(const std::vector<CRVClientConnection*>& list, bool qualifying) {
    uint8_t m[timesheet::kSize] = {};
    ByteWriter w(m, sizeof m);
    w.u8(RV_TIMESHEET);
    // The count is that of the ranking list even when the qualifying list is shown.
    w.u8(listedCount(rankingList.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        const CRVClientConnection* c = list[i];
        if (i < kListed) {
            ranked_list::writeEntry(w, i, c->id, qualifying ? c->qualifyBestLap : c->bestLap);
            w.seek(timesheet::kLaps + i);
            w.u8(uint8_t(c->laps));
        }
        std::printf("%d: %s %d\n", int(i + 1), printable(recordText(c->userName)).c_str(),
                    int(c->bestLap));
    }
    const SessionRecord* session = current();
    // Minutes of the session's length left after the server's own running time: the clients
    // show this figure as it is.
    w.seek(timesheet::kMinutesLeft);
    w.u8(uint8_t((int64_t(session->sessionTime) - serverTime) / 60000));
    w.u8(uint8_t(race.maxValidLaps));
    w.i32(race.sessionBestLap);
    w.i32(race.sessionBestLapAux);
    if (qualifying) {
        router.send(nullptr, m, int(sizeof m), 20, true);
    } else {
        router.send(nullptr, m, int(sizeof m), 25, false);
    }
}

void CRVServer::updatePracticeRank(int id) {
    order::sort(rankingList, order::practice);
    sendTimesheet(rankingList, false);
    warnValidLaps(id, ", MAX QUALIFY LAPS INFRACTION");
}

void CRVServer::updateQualifyRank(int id) {
    std::printf("updateQualifyRank\n");
    qualifyList = clients;
    order::sort(qualifyList, order::qualifying);
    sendTimesheet(qualifyList, true);
    warnValidLaps(id, ", MAX LAPS INFRACTION");
}

void CRVServer::warnValidLaps(int id, const char* infraction) {
    const CRVClientConnection* c = findClient(id);
    if (c == nullptr || c->laps <= race.maxValidLaps)
        return;
    sendServerChat("[SERVER]: PENALTY FOR " + recordText(c->userName) + infraction, nullptr);
}

// Completed laps, split times, which car a client follows, and the qualifying list.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "transport/CTimer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

// Called only after the dispatcher has checked the exact size of 17 bytes.
void CRVClientConnection::onLapCompleted(uint8_t* data, int size) {
    const SessionRecord* session = server->current();
    if (session == nullptr || finished)
        return;
    ByteReader r(data, size);
    r.seek(lap_completed::kLap);
    const uint32_t lapNumber = r.u32();
    const int32_t lapTime = r.i32();
    const int32_t splitTime = r.i32();
    const int32_t totalTime = r.i32();
    // The client resends a lap report it has no acknowledgement for under the same number.
    if (lapNumber == lastLapId)
        return;
    laps = int32_t(uint32_t(laps) + 1);
    lastLapId = lapNumber;
    lastLapAux = uint32_t(totalTime);

    if ((lapTime < int32_t(bestLap) || bestLap == 0) && laps <= server->race.maxValidLaps) {
        bestLap = uint32_t(lapTime);
        bestLapAux = uint32_t(splitTime);
        server->updateBestLap(lapTime, splitTime, this);
    }
    // Once the qualifying time is out, only an improvement still counts, and it is the last.
    if (session->type == kQualifying && !qualifyDone &&
        (qualifyBestLap == 0 || lapTime < int32_t(qualifyBestLap))) {
        qualifyBestLap = uint32_t(lapTime);
        if (server->serverTime - int64_t(session->startTime) > int64_t(session->sessionTime))
            qualifyDone = true;
    }
    std::printf("lap completed %d\n", int(laps));
    server->updateRank(id, 0);
    server->logger.log(std::string("LAP,") + recordText(guid) + "," + CTimer::formatTime(lapTime) +
                           "," + CTimer::formatTime(splitTime) + "," +
                           std::to_string(int32_t(lapNumber)),
                       4);

    ByteWriter w(lapRecord, sizeof lapRecord);
    w.seek(lap_info::kTotalTime);
    w.i32(totalTime);
    w.i32(lapTime);
    w.u32(bestLap);
    for (CRVClientConnection* c : server->clients)
        if (c != this)
            server->router.send(c, lapRecord, kLapRecordSize, 0, false);
}

void CRVClientConnection::onSplit(uint8_t* data, int size) {
    // Relayed as the difference to the sender's best lap at the same point, to the clients
    // that follow the sender only.
    ByteReader r(data, size);
    r.seek(split_time::kTime);
    const uint32_t delta = r.u32() - bestLapAux;
    uint8_t out[split_time::kSize];
    ByteWriter w(out, sizeof out);
    w.u8(RV_SPLIT);
    w.u32(delta);
    w.u8(id);
    for (CRVClientConnection* c : server->clients)
        if (c->id != id && c->focusId == id)
            server->router.send(c, out, int(split_time::kSize), 0, false);
}

void CRVClientConnection::onFocus(uint8_t* data, int size) {
    const uint8_t target = size > 1 ? data[1] : 0;
    if (target == id) {
        focusId = target;
        return;
    }
    CRVClientConnection* followed = server->findClient(target);
    if (followed == nullptr)
        return;
    focusId = target;
    std::printf("Client %s is focussing on %s\n", printable(recordText(userName)).c_str(),
                printable(recordText(followed->userName)).c_str());
    server->router.send(this, followed->lapRecord, kLapRecordSize, 0, false);
}

void CRVServer::updateBestLap(int32_t lapTime, int32_t splitTime, CRVClientConnection* driver) {
    // A first lap starts from the grid or the pits, so it never sets the session's best.
    const SessionRecord* session = current();
    if (session != nullptr && session->type != kPractice && lapTime < race.sessionBestLap &&
        driver->laps > 1) {
        race.sessionBestLap = lapTime;
        race.sessionBestLapAux = splitTime;
    }
}

void CRVServer::sendQualifyList(int id) {
    uint8_t m[qualify_list::kSize] = {};
    ByteWriter w(m, sizeof m);
    w.u8(RV_QUALIFYLIST);
    const size_t count =
        qualifyList.size() < ranked_list::kEntries ? qualifyList.size() : ranked_list::kEntries;
    w.u8(uint8_t(count));
    for (size_t i = 0; i < count; ++i) {
        ranked_list::writeEntry(w, i, qualifyList[i]->id, qualifyList[i]->qualifyBestLap);
    }
    CRVClientConnection* requester = findClient(id);
    if (requester != nullptr)
        router.send(requester, m, int(sizeof m), 0, false);
}

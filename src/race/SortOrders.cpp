#include "race/SortOrders.h"

#include "admission/CRVClientConnection.h"
#include "race/SessionRecord.h"

namespace {

// Lap and race times travel as signed 32-bit milliseconds; they are compared that way.
int32_t ms(uint32_t stored) {
    return int32_t(stored);
}

}  // namespace

namespace order {

bool race(const CRVClientConnection* a, const CRVClientConnection* b) {
    if (a->laps != b->laps)
        return a->laps > b->laps;
    return ms(a->lastLapAux) < ms(b->lastLapAux);
}

bool practice(const CRVClientConnection* a, const CRVClientConnection* b) {
    if ((a->laps == 0) != (b->laps == 0))
        return b->laps == 0;
    return ms(a->bestLap) < ms(b->bestLap);
}

bool qualifying(const CRVClientConnection* a, const CRVClientConnection* b) {
    if ((a->laps == 0) != (b->laps == 0))
        return b->laps == 0;
    return ms(a->qualifyBestLap) < ms(b->qualifyBestLap);
}

bool qualifyingGrid(const CRVClientConnection* a, const CRVClientConnection* b) {
    if ((a->qualifyBestLap == 0) != (b->qualifyBestLap == 0))
        return b->qualifyBestLap == 0;
    return ms(a->qualifyBestLap) < ms(b->qualifyBestLap);
}

void sortForSession(std::vector<CRVClientConnection*>& list, int sessionType) {
    switch (sessionType) {
        case kPractice:
            sort(list, practice);
            break;
        case kQualifying:
            sort(list, qualifying);
            break;
        case kRace:
            sort(list, race);
            break;
        default:
            break;
    }
}

}  // namespace order

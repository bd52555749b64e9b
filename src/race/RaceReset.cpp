// The race reset: the current session starts over with fresh results, the grid built from the
// finished order (reversed whole or in its first six places, by LOOP) and the winner's ballast
// shared down to nothing for the last driver.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"

namespace {

// The grid place of the driver at `index` of `count` in the finished order.
int32_t resetGridPlace(int loop, int index, int count) {
    switch (loop) {
        case 2:
        case 4:
            return count - 1 - index;
        case 6:
            // Only the first six swap round; with six or fewer that is the whole field.
            if (count > 6)
                return index < 6 ? 5 - index : index;
            return count - 1 - index;
        default:
            return index;
    }
}

}  // namespace

void CRVServer::resetRace(bool skipSave) {
    sequenceFinished = false;
    std::printf("**** RESETTING RACE ****\n");
    // Nothing is running before the first session or when none is configured.
    if (current() == nullptr)
        return;
    const uint8_t reset = RV_RESET;
    router.send(nullptr, &reset, 1, 20, true);

    const int loop = config.loop;
    const bool shared = loop == 3 || loop == 4;
    const float total = shared ? float(config.winnerBallast) : 0.0f;
    const bool ballastOn = shared ? config.winnerBallast != 0 : true;

    for (CRVClientConnection* c : rankingList)
        c->qualifyBestLap = 0;
    const int n = int(rankingList.size());
    for (int i = 0; i < n; ++i) {
        CRVClientConnection* c = rankingList[size_t(i)];
        if (ballastOn && n > 1) {
            const float kg = total / float(n - 1) * float(n - 1 - i);
            const BallastMessage ballast(kg);
            router.send(c, ballast.bytes, msgsize::kBallast, 10 * i, true);
            std::printf("Autoballast=%f\n", double(kg));
        }
        c->gridPlace = resetGridPlace(loop, i, n);
        c->finished = false;
        c->jumpStart = false;
        c->laps = 0;
        c->bestLapAux = 0;
        c->bestLap = 0;
    }
    race.sessionBestLap = RaceState::kNoSessionBest;
    race.sessionBestLapAux = RaceState::kNoSessionBest;
    race.raceWon = false;
    race.leaderLaps = 0;
    if (!skipSave)
        saveSession(currentSession);
    // The advance takes the session before this one as the one that ends, so its end rules
    // run once more on the zeroed laps before this session starts over.
    --currentSession;
    evolveSession();
}

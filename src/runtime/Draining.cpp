// Draining: the operator's "drain" (console, admin chat, SIGUSR1, the unit's reload) lets the
// drivers of a running race finish it, and ends the server once the race is over or nobody is
// left, whichever comes first.
#include <cstdio>

#include "runtime/CRVServer.h"

bool CRVServer::startDraining() {
    if (draining.active || shutdownDone_)
        return false;
    draining.active = true;
    std::printf(
        "Draining: no new clients; the server ends when the race is over or nobody is "
        "left\n");
    return true;
}

void CRVServer::watchDraining() {
    if (!draining.active || draining.over)
        return;
    const SessionRecord* s = current();
    if (clients.empty() || sequenceFinished || s == nullptr ||
        (draining.raceSession >= 0 && draining.raceSession != currentSession)) {
        draining.over = true;
    } else if (s->type != kRace) {
        return;  // a practice or qualifying ends the event once nobody is left
    } else if (draining.raceSession < 0) {
        draining.raceSession = currentSession;
        draining.raceStarted = s->started != 0;
    } else if (draining.raceStarted && s->started == 0) {
        draining.over = true;  // the race ended and was reset to run again (LOOP)
    } else {
        draining.raceStarted = s->started != 0;
    }
    if (draining.over)
        std::printf("Draining done: shutting down\n");
}

#pragma once
// When the main loop may rest between turns. After a turn the loop waits for a datagram or for
// the earliest instant at which some per-turn step of CRVServer::update() could act, whichever
// comes first, so that every timed step still runs on its first turn at or after its time
// while an idle server costs next to nothing. The one place that knows those instants.

#include <cstdint>

class CRVServer;

// The longest rest between turns, whatever the steps say.
constexpr int64_t kLongestWaitMs = 1000;
// While a session is over its time, or a race is running, its end depends on rules that
// messages feed turn by turn; the loop looks again at least this often.
constexpr int64_t kEndWatchMs = 100;

// The earliest server time (ms) at which a per-turn step could act, given the server time and
// the tick count now; never later than now + kLongestWaitMs.
int64_t nextWakeTime(const CRVServer& server, int64_t now, uint32_t tickNow);

// How long the loop may wait after a turn: 0 while the outgoing queue holds messages (one
// leaves per turn), otherwise the time until nextWakeTime().
int idleWaitMs(const CRVServer& server);

// Waits that long, or until a datagram is waiting; returns at once when one already is (the
// receive step stops at its cap and at an empty or oversized datagram, leaving the rest).
// True when a datagram ended the wait or no wait was allowed.
bool waitForNextTurn(CRVServer& server);

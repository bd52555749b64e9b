#pragma once
// When the main loop may rest between turns. After a turn the loop waits for a datagram or for
// the earliest instant at which some per-turn step of CRVServer::update() could act, whichever
// comes first, so that every timed step still runs on its first turn at or after its time
// while an idle server costs next to nothing. The one exception: combined car-state packets due
// close together leave together (situationTurn). The one place that knows those instants.

#include <cstdint>

class CRVServer;

// The longest rest between turns, whatever the steps say.
constexpr int64_t kLongestWaitMs = 1000;
// The longest a received datagram that needs an answer waits for its turn: the rest an idle
// server has always taken between turns. Car updates and acknowledgements wait for the planned
// turn instead, and are read together with whatever else came meanwhile.
constexpr int kAnswerWithinMs = 10;
// Sends the kernel refused for a full buffer are tried again this soon.
constexpr int64_t kUnsentRetryMs = 1;

// How much later than due a combined car-state packet may leave so that it goes in the same turn
// as another client's: the turn the loop always had.
constexpr int64_t kSituationMergeMs = 10;

// The turn at which the next combined car-state packets go out: the latest instant a packet
// falls due within kSituationMergeMs of the first one, never before `now`; INT64_MAX without
// clients.
int64_t situationTurn(const CRVServer& server, int64_t now);

// The earliest server time (ms) at which a per-turn step could act, given the server time and
// the tick count now; never later than now + kLongestWaitMs.
int64_t nextWakeTime(const CRVServer& server, int64_t now, uint32_t tickNow);

// The same without the outgoing queue and the held datagrams: when the next timed step is due.
int64_t timedStepTime(const CRVServer& server, int64_t now, uint32_t tickNow);

// Turns that would only send the next queued message (nothing timed due, no datagram read and
// held) run as that step alone, one after another until the queue is empty. They follow one
// another within microseconds, so the kernel is not asked for datagrams between them: the next
// full turn reads whatever came meanwhile, as if it had come a moment later.
void sendQueuedAlone(CRVServer& server);

// How long the loop may wait after a turn: 0 while the outgoing queue holds messages (one
// leaves per turn) or read datagrams are held (the receive step stops at its cap and at an
// empty or oversized datagram, leaving the rest), otherwise the time until nextWakeTime().
int idleWaitMs(const CRVServer& server);

// Sends what the turns since the last rest queued on the socket, then rests that long; a
// datagram that needs an answer ends the rest early (OVSocket::rest). The sends of turns that
// follow one another without a rest leave together, up to a batch. Datagrams that came during
// the rest and could wait are then routed at once, as each would have been in a turn of its own
// when it came, so that the planned turn's combined packets, built before its receive step,
// carry them. True when a datagram ended the wait or was routed, or no wait was allowed.
bool waitForNextTurn(CRVServer& server);

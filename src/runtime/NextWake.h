#pragma once
// When the main loop may rest between turns. After a turn the loop waits for a datagram or for
// the earliest instant at which some per-turn step of CRVServer::update() could act, whichever
// comes first, so that every timed step still runs on its first turn at or after its time
// while an idle server costs next to nothing. The one place that knows those instants.

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

// The earliest server time (ms) at which a per-turn step could act, given the server time and
// the tick count now; never later than now + kLongestWaitMs.
int64_t nextWakeTime(const CRVServer& server, int64_t now, uint32_t tickNow);

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

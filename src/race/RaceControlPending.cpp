// Race-control operations whose rules arrive with the rankings, race reset, voting and
// lost-client work. Their callers are wired already; each does nothing yet.
#include "runtime/CRVServer.h"

void CRVServer::checkLostClients() {}
void CRVServer::resetRace(bool) {}
void CRVServer::addVote(CRVClientConnection*, int) {}
void CRVServer::updateRank(int, int) {}
void CRVServer::loadVotingOptions() {}

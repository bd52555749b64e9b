#include "rvreplay/StandingsText.h"

#include <cstdio>
#include <vector>

#include "admission/CRVClientConnection.h"
#include "race/SortOrders.h"
#include "runtime/CRVServer.h"
#include "transport/CTimer.h"
#include "util/RecordText.h"

namespace {

std::string timeOrDash(uint32_t ms) {
    return ms == 0 ? "-" : CTimer::formatTime(int32_t(ms));
}

}  // namespace

std::string standingsText(const CRVServer& server) {
    std::vector<CRVClientConnection*> list = server.clients;
    const bool any =
        server.currentSession >= 0 && size_t(server.currentSession) < server.sessions.size();
    const SessionRecord* s = any ? &server.sessions[size_t(server.currentSession)] : nullptr;
    if (s != nullptr)
        order::sortForSession(list, s->type);
    char line[512];
    std::snprintf(line, sizeof line, "%s (%s) at %s, %d clients\n",
                  s != nullptr ? recordText(s->name).c_str() : "no session",
                  s != nullptr ? sessionTypeName(s->type, "-") : "-",
                  CTimer::formatTime(int32_t(uint32_t(server.serverTime))).c_str(),
                  int(list.size()));
    std::string out = line;
    std::snprintf(line, sizeof line, "%3s  %-20s %-20s %5s %11s %11s %11s\n", "POS", "GUID", "NAME",
                  "LAPS", "BESTLAP", "QUALIFYLAP", "RACETIME");
    out += line;
    for (size_t i = 0; i < list.size(); ++i) {
        const CRVClientConnection* c = list[i];
        std::snprintf(line, sizeof line, "%3d  %-20s %-20s %5d %11s %11s %11s\n", int(i + 1),
                      recordText(c->guid).c_str(), recordText(c->userName).c_str(), int(c->laps),
                      timeOrDash(c->bestLap).c_str(), timeOrDash(c->qualifyBestLap).c_str(),
                      timeOrDash(c->lastLapAux).c_str());
        out += line;
    }
    return out;
}

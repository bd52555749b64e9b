// The results file of a finished session: every client's laps, in the session's standings order.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "race/SortOrders.h"
#include "runtime/CRVServer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

void CRVServer::saveSession(int index) {
    if (index < 0 || size_t(index) >= sessions.size())
        return;
    const SessionRecord& session = sessions[size_t(index)];
    const std::string file = "server/sessions/" + config.name + "_" + recordText(session.name) +
                             "_" + localTimeText("%d_%H_%M") + ".txt";
    std::vector<CRVClientConnection*> standings = clients;
    order::sortForSession(standings, session.type);
    // The folder belongs to the installation; without it no results are kept.
    std::FILE* f = std::fopen(outputPath(file).c_str(), "w");
    if (f == nullptr)
        return;
    std::fprintf(f, "[HEADER]\nNAME=%s\nTYPE=%d\nCLIENTS=%d\n", recordText(session.name).c_str(),
                 int(session.type), int(standings.size()));
    for (size_t i = 0; i < standings.size(); ++i) {
        const CRVClientConnection* c = standings[i];
        // A guid is the client's own text: a line feed in it must not start a forged section.
        std::fprintf(f,
                     "\n[CLIENT%d]\nGUID=%s\nBESTLAP=%d\nQUALIFYLAP=%d\nRACELAPS=%d\nRACETIME=%d\n",
                     int(i), printable(recordText(c->guid)).c_str(), int32_t(c->bestLap),
                     int32_t(c->qualifyBestLap), int(c->laps), int32_t(c->lastLapAux));
    }
    std::fclose(f);
}

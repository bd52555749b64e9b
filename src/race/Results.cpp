// The results file of a finished session: every client's laps, in the session's standings order.
#include <string>

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
    std::string text = "[HEADER]\nNAME=" + recordText(session.name) +
                       "\nTYPE=" + std::to_string(int(session.type)) +
                       "\nCLIENTS=" + std::to_string(standings.size()) + "\n";
    for (size_t i = 0; i < standings.size(); ++i) {
        const CRVClientConnection* c = standings[i];
        // A guid is the client's own text: a line feed in it must not start a forged section.
        text += "\n[CLIENT" + std::to_string(i) + "]\nGUID=" + printable(recordText(c->guid)) +
                "\nBESTLAP=" + std::to_string(int32_t(c->bestLap)) +
                "\nQUALIFYLAP=" + std::to_string(int32_t(c->qualifyBestLap)) +
                "\nRACELAPS=" + std::to_string(int(c->laps)) +
                "\nRACETIME=" + std::to_string(int32_t(c->lastLapAux)) + "\n";
    }
    // Named by the minute: a second save in the same minute (the race reset of a looped event)
    // takes the name, and the file already there is kept under a numbered name.
    wholeFiles.write(outputPath(file), file, text, true);
}
